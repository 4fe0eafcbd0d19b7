#include <gtest/gtest.h>

#include "AppState.h"

using namespace cx;

TEST(AppState, WhichFramesAreRecorded)
{
    const struct {
        int scheduleMode, scheduleRecord, scheduledRecording, manualRecording;
        bool records;
    } cases[] = {
        {0, 0, 0, 1, true},  {0, 1, 1, 0, false}, {1, 1, 1, 0, true},  {1, 1, 0, 1, false},
        {1, 0, 1, 1, false}, {7, 0, 0, 1, true},   // any mode but 1 records by hand
        {7, 1, 1, 0, false},
    };
    for (const auto& c : cases) {
        AppState state;
        state.settings.scheduleMode = c.scheduleMode;
        state.settings.scheduleRecord[3] = c.scheduleRecord;
        state.scheduledRecording[3] = c.scheduledRecording;
        state.manualRecording[3] = c.manualRecording;
        EXPECT_EQ(state.slotRecords(3), c.records)
            << c.scheduleMode << c.scheduleRecord << c.scheduledRecording << c.manualRecording;
        EXPECT_FALSE(state.slotRecords(2));
    }
    AppState state;
    EXPECT_FALSE(state.slotRecords(-1));
    EXPECT_FALSE(state.slotRecords(16));
}

TEST(AppState, CameraEntriesOnlyForLoadedSlots)
{
    AppState state;
    EXPECT_EQ(state.cameraNameOf(15), "Camera 16");
    // A names load sets the count before any table load filled the arrays.
    state.cameraTable.count = 2;
    EXPECT_FALSE(state.cameraEntry(0).has_value());
    state.cameraTable.allocate(2);
    state.cameraTable.address[1] = "10.0.0.2:80";
    state.cameraTable.type[1] = 108;
    const auto entry = state.cameraEntry(1);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->address, "10.0.0.2:80");
    EXPECT_EQ(entry->type, 108);
    EXPECT_FALSE(state.cameraEntry(2).has_value());
    EXPECT_FALSE(state.cameraEntry(-1).has_value());
}

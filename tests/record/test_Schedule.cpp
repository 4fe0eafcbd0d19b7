// The weekly timetable files and the schedule tick, driven through a
// simulated week in local time.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AppState.h"
#include "Schedule.h"
#include "support/LocalTime.h"
#include "support/Bytes.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

namespace cx {
namespace {
using test::localSeconds;


// A January week away from any daylight-saving change: 8 January 2024 is a
// Monday, 14 January the Sunday.
int64_t janDay(int weekday, int hour, int minute, int second = 0)  // weekday 0 = Monday
{
    return localSeconds(2024, 1, 8 + weekday, hour, minute, second);
}

struct Call {
    enum Kind { Open, Close, Tray, EndMain } kind;
    int value;  // slot, or tray frame
    std::string path;
    bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Call& c)
{
    static const char* names[] = {"open", "close", "tray", "endMain"};
    return out << names[c.kind] << '(' << c.value << (c.path.empty() ? "" : ", " + c.path) << ')';
}

class FakeActions final : public ScheduleActions {
public:
    std::vector<Call> calls;
    std::array<bool, maxCameras> open{};
    bool opensFail = false;
    std::function<void(int)> onOpen;

    void openRecording(int slot, const std::string& relativePath) override
    {
        calls.push_back({Call::Open, slot, relativePath});
        if (!opensFail) open[static_cast<size_t>(slot)] = true;
        if (onOpen) onOpen(slot);
    }
    void closeRecording(int slot) override
    {
        calls.push_back({Call::Close, slot, {}});
        open[static_cast<size_t>(slot)] = false;
    }
    bool recordingOpen(int slot) const override { return open[static_cast<size_t>(slot)]; }
    void setTrayFrame(int frame) override { calls.push_back({Call::Tray, frame, {}}); }
    void endMainWindow() override { calls.push_back({Call::EndMain, 0, {}}); }

    int count(Call::Kind kind) const
    {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.kind == kind; }));
    }
    std::vector<Call> take() { return std::exchange(calls, {}); }
};

// Every day closed unless a test opens it.
ScheduleTable closedWeek()
{
    ScheduleTable table;
    table.week.index.fill(-1);
    return table;
}

// Sets row `day` (0 = Monday) to the labels `start` .. `end`.
void setDay(ScheduleTable& table, int day, const std::string& start, const std::string& end)
{
    const auto s = static_cast<size_t>(2 * day);
    table.labels[s] = start;
    table.labels[s + 1] = end;
    table.week.index[s] = 2 * day;
    table.week.index[s + 1] = 2 * day + 1;
}

// One tick and what is expected after it.
struct Step {
    int64_t when;
    int recording;  // scheduledRecording[0] after the tick
    int opens;      // opens asked so far
    int closes;     // closes asked so far
};

class ScheduleTickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.settings.scheduleMode = 1;
        state.cameraTable.count = 1;
        state.settings.scheduleRecord[0] = 1;
    }

    void tickAt(int64_t seconds)
    {
        clock.wall = seconds;
        ScheduleTick(state, table, clock, actions, tickState);
    }

    void runSteps(const std::vector<Step>& steps)
    {
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            tickAt(steps[i].when);
            EXPECT_EQ(state.scheduledRecording[0].load(), steps[i].recording);
            EXPECT_EQ(actions.count(Call::Open), steps[i].opens);
            EXPECT_EQ(actions.count(Call::Close), steps[i].closes);
        }
    }

    AppState state;
    ScheduleTable table = closedWeek();
    test::FakeClock clock;
    FakeActions actions;
    ScheduleTickState tickState;
};

TEST_F(ScheduleTickTest, WindowEndsAreInclusiveAtMinuteResolution)
{
    setDay(table, 0, "08:00", "18:00");
    runSteps({
        {janDay(0, 7, 59, 59), 0, 0, 0},
        {janDay(0, 8, 0, 0), 1, 1, 0},
        {janDay(0, 12, 0, 0), 1, 1, 0},  // no second file while one runs
        {janDay(0, 18, 0, 59), 1, 1, 0},
        {janDay(0, 18, 1, 0), 0, 1, 1},
        {janDay(0, 18, 2, 0), 0, 1, 1},  // closed once only
    });
}

TEST_F(ScheduleTickTest, SameStartAndEndLabelIsOneMinute)
{
    table.labels[5] = "12:30";
    table.week.index[4] = 5;  // Wednesday start
    table.week.index[5] = 5;  // Wednesday end
    runSteps({
        {janDay(2, 12, 29, 59), 0, 0, 0},
        {janDay(2, 12, 30, 0), 1, 1, 0},
        {janDay(2, 12, 30, 59), 1, 1, 0},
        {janDay(2, 12, 31, 0), 0, 1, 1},
    });
}

// Each row of hours.dat belongs to exactly one weekday, Monday first and
// Sunday last (offsets 48 and 52).
TEST_F(ScheduleTickTest, EachRowIsItsWeekday)
{
    for (int row = 0; row < 7; ++row) {
        for (int day = 0; day < 7; ++day) {
            SCOPED_TRACE("row " + std::to_string(row) + " on day " + std::to_string(day));
            table = closedWeek();
            setDay(table, row, "10:00", "11:00");
            state.scheduledRecording[0] = 0;
            actions.open = {};
            actions.calls.clear();
            tickAt(janDay(day, 10, 30));
            EXPECT_EQ(state.scheduledRecording[0].load(), row == day ? 1 : 0);
        }
    }
}

TEST_F(ScheduleTickTest, SundayIsTheLastRowOfTheFile)
{
    test::TempFolder folder;
    ScheduleTable written = closedWeek();
    written.labels[3] = "09:00";
    written.labels[4] = "09:10";
    written.week.index[12] = 3;
    written.week.index[13] = 4;
    ASSERT_TRUE(saveSchedule(folder.path(), written));

    std::ifstream in(folder.path() / weekScheduleFileName, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(bytes.size(), 56u);
    EXPECT_EQ(bytes[48], 3);
    EXPECT_EQ(bytes[52], 4);
    EXPECT_EQ(bytes[0], 0xFF);  // Monday: -1

    table = loadSchedule(folder.path());
    tickAt(janDay(0, 9, 5));  // Monday
    EXPECT_EQ(state.scheduledRecording[0].load(), 0);
    tickAt(janDay(6, 9, 5));  // Sunday
    EXPECT_EQ(state.scheduledRecording[0].load(), 1);
}

TEST_F(ScheduleTickTest, OvernightWindowRecordsUntilMidnight)
{
    setDay(table, 0, "22:00", "06:00");
    setDay(table, 1, "22:00", "06:00");  // Tuesday's own overnight window starts at 22:00
    runSteps({
        {janDay(0, 21, 59), 0, 0, 0},
        {janDay(0, 22, 0), 1, 1, 0},
        {janDay(0, 23, 59, 59), 1, 1, 0},
        {janDay(1, 0, 0, 0), 0, 1, 1},  // Tuesday's row applies after midnight
        {janDay(1, 5, 0, 0), 0, 1, 1},
        {janDay(1, 22, 0, 0), 1, 2, 1},
    });
}

TEST_F(ScheduleTickTest, OvernightRecordingGoesOnWhenTheNextDayIsOpenAtMidnight)
{
    setDay(table, 0, "22:00", "06:00");
    setDay(table, 1, "00:00", "06:00");
    runSteps({
        {janDay(0, 22, 0), 1, 1, 0},
        {janDay(1, 0, 0, 0), 1, 1, 0},  // same file runs on
        {janDay(1, 6, 0, 59), 1, 1, 0},
        {janDay(1, 6, 1, 0), 0, 1, 1},
    });
}

TEST_F(ScheduleTickTest, ManualModeNeverOpensOrClosesButHandlesStopAndTray)
{
    state.settings.scheduleMode = 0;
    setDay(table, 0, "08:00", "18:00");
    state.scheduledRecording[0] = 1;  // left over from schedule mode

    tickAt(janDay(0, 7, 0));  // outside the window: would close in schedule mode
    tickAt(janDay(0, 9, 0));  // inside: would open
    state.scheduledRecording[0] = 0;
    state.settings.scheduleRecord[0] = 1;
    tickAt(janDay(0, 9, 1));

    EXPECT_EQ(actions.take(), (std::vector<Call>{{Call::Tray, 1, {}}, {Call::Tray, 2, {}}}));
    EXPECT_EQ(state.scheduledRecording[0].load(), 0);
    EXPECT_EQ(state.trayAnimationCounter.load(), 3);
}

TEST_F(ScheduleTickTest, ExitRequestIsHandedOnAtEveryTickUntilTheFrontEndEnds)
{
    // A window with a dialog open at one tick must still end at a later one.
    for (int mode : {0, 1}) {
        state.settings.scheduleMode = mode;
        tickState = ScheduleTickState{};
        tickAt(janDay(0, 9, 0));
        EXPECT_EQ(actions.count(Call::EndMain), 0) << mode;
        tickState.exitRequested = true;
        tickAt(janDay(0, 9, 0, 1));
        tickAt(janDay(0, 9, 0, 2));
        EXPECT_EQ(actions.count(Call::EndMain), 2) << mode;
        actions.take();
    }
}

TEST_F(ScheduleTickTest, SuspendedRecordingStartsNothingInsideTheWindow)
{
    setDay(table, 0, "08:00", "18:00");
    state.recordingSuspended = 1;
    tickAt(janDay(0, 9, 0));
    tickAt(janDay(0, 9, 5));
    EXPECT_EQ(actions.count(Call::Open), 0);
    EXPECT_EQ(state.scheduledRecording[0].load(), 0);

    state.recordingSuspended = 0;
    tickAt(janDay(0, 9, 6));
    EXPECT_EQ(actions.count(Call::Open), 1);
    EXPECT_EQ(state.scheduledRecording[0].load(), 1);
}

// Suspension is read again for every slot, so a suspend that arrives while
// the tick opens slot 0 keeps slot 1 from starting.
TEST_F(ScheduleTickTest, SuspensionIsReadForEachSlot)
{
    setDay(table, 0, "08:00", "18:00");
    state.cameraTable.count = 2;
    state.settings.scheduleRecord[1] = 1;
    actions.onOpen = [this](int) { state.recordingSuspended = 1; };
    tickAt(janDay(0, 9, 0));
    EXPECT_EQ(state.scheduledRecording[0].load(), 1);
    EXPECT_EQ(state.scheduledRecording[1].load(), 0);
    EXPECT_EQ(actions.count(Call::Open), 1);
}

TEST_F(ScheduleTickTest, OnlyTakingPartSlotsBelowCountOpenButAnyRecordingSlotCloses)
{
    setDay(table, 0, "08:00", "18:00");
    state.cameraTable.count = 3;
    state.settings.scheduleRecord[0] = 0;
    state.scheduledRecording[0] = 1;  // e.g. toggled off while recording
    actions.open[0] = true;
    state.settings.scheduleRecord[1] = 1;
    state.settings.scheduleRecord[2] = 0;
    state.settings.scheduleRecord[3] = 1;  // beyond count
    state.scheduledRecording[3] = 1;

    tickAt(janDay(0, 9, 0));
    std::vector<Call> opened;
    for (const auto& c : actions.take())
        if (c.kind == Call::Open) opened.push_back(c);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].value, 1);
    EXPECT_EQ(state.scheduledRecording[2].load(), 0);

    tickAt(janDay(0, 18, 1));
    const std::vector<Call> closing = actions.take();
    EXPECT_EQ(closing, (std::vector<Call>{{Call::Tray, 0, {}},
                                          {Call::Close, 0, {}},
                                          {Call::Tray, 0, {}},
                                          {Call::Close, 1, {}}}));
    EXPECT_EQ(state.scheduledRecording[0].load(), 0);
    EXPECT_EQ(state.scheduledRecording[1].load(), 0);
    EXPECT_EQ(state.scheduledRecording[3].load(), 1);  // not a configured slot: untouched
}

TEST_F(ScheduleTickTest, TrayFramesCycleOncePerRecordingSlot)
{
    state.settings.scheduleMode = 0;
    state.cameraTable.count = 3;
    tickAt(janDay(0, 9, 0));  // nothing records: counter moves, no frame sent
    EXPECT_TRUE(actions.take().empty());
    EXPECT_EQ(state.trayAnimationCounter.load(), 1);

    state.scheduledRecording[0] = 1;
    state.scheduledRecording[2] = 1;
    std::vector<int> frames;
    for (int i = 0; i < 6; ++i) tickAt(janDay(0, 9, 0, i + 1));
    for (const auto& c : actions.take()) {
        ASSERT_EQ(c.kind, Call::Tray);
        frames.push_back(c.value);
    }
    EXPECT_EQ(frames, (std::vector<int>{2, 2, 3, 3, 4, 4, 0, 0, 1, 1, 2, 2}));
}

TEST_F(ScheduleTickTest, TrayFrameStaysInRangeWhenTheCounterWraps)
{
    state.settings.scheduleMode = 0;
    state.scheduledRecording[0] = 1;
    state.trayAnimationCounter = INT_MAX;
    tickAt(janDay(0, 9, 0));
    tickAt(janDay(0, 9, 1));
    const auto calls = actions.take();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& c : calls) {
        EXPECT_GE(c.value, 0);
        EXPECT_LE(c.value, 4);
    }
}

TEST_F(ScheduleTickTest, OpensWithTheCameraNameAndLocalTime)
{
    setDay(table, 1, "00:00", "23:59");
    state.cameraTable.count = 2;
    state.settings.scheduleRecord[1] = 1;
    state.setCameraName(0, "Front Door");
    const int64_t when = localSeconds(2024, 1, 9, 7, 8, 9);  // Tuesday
    tickAt(when);

    const auto calls = actions.take();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], (Call{Call::Open, 0, "video/Front Door/Date_09_01_2024_Time_07_08_09.avi"}));
    EXPECT_EQ(calls[1], (Call{Call::Open, 1, "video/Camera 2/Date_09_01_2024_Time_07_08_09.avi"}));
    EXPECT_EQ(state.segmentStart[0].load(), when);
    EXPECT_EQ(state.segmentStart[1].load(), when);
    // Day and month are told apart: 5 March, not 3 May.
    EXPECT_EQ(scheduledRecordingName("C", localSeconds(2031, 3, 5, 23, 4, 0)), "video/C/Date_05_03_2031_Time_23_04_00.avi");
}

TEST_F(ScheduleTickTest, FailedOpenIsRetriedAMinuteLater)
{
    setDay(table, 0, "08:00", "18:00");
    actions.opensFail = true;
    const int64_t first = janDay(0, 9, 0, 10);
    tickAt(first);
    EXPECT_EQ(state.scheduledRecording[0].load(), 1);
    for (int s = 1; s < 60; ++s) tickAt(first + s);
    EXPECT_EQ(actions.count(Call::Open), 1);

    actions.opensFail = false;
    tickAt(first + 60);
    ASSERT_EQ(actions.count(Call::Open), 2);
    const auto reopen = std::find_if(actions.calls.rbegin(), actions.calls.rend(),
                                     [](const Call& c) { return c.kind == Call::Open; });
    EXPECT_EQ(reopen->path, "video/Camera 1/Date_08_01_2024_Time_09_01_10.avi");
    EXPECT_EQ(state.segmentStart[0].load(), first + 60);

    // Open now: no more attempts.
    for (int s = 61; s < 300; s += 7) tickAt(first + s);
    EXPECT_EQ(actions.count(Call::Open), 2);

    // A roll-over that failed later (the file went away) is mended too.
    actions.open[0] = false;
    tickAt(first + 301);
    EXPECT_EQ(actions.count(Call::Open), 3);
}

TEST_F(ScheduleTickTest, RetryHonoursSuspensionModeAndWindow)
{
    setDay(table, 0, "08:00", "18:00");
    actions.opensFail = true;
    const int64_t first = janDay(0, 9, 0);
    tickAt(first);
    ASSERT_EQ(actions.count(Call::Open), 1);

    state.recordingSuspended = 1;
    tickAt(first + 120);
    state.recordingSuspended = 0;
    state.settings.scheduleRecord[0] = 0;
    tickAt(first + 180);
    state.settings.scheduleRecord[0] = 1;
    state.settings.scheduleMode = 0;
    tickAt(first + 240);
    EXPECT_EQ(actions.count(Call::Open), 1);

    state.settings.scheduleMode = 1;
    tickAt(janDay(0, 18, 1));  // closed window: closes instead of retrying
    EXPECT_EQ(actions.count(Call::Open), 1);
    EXPECT_EQ(actions.count(Call::Close), 1);
}

TEST_F(ScheduleTickTest, ClockSetBackDoesNotHoldTheRetry)
{
    setDay(table, 0, "08:00", "18:00");
    actions.opensFail = true;
    tickAt(janDay(0, 10, 0));
    tickAt(janDay(0, 9, 0));  // clock put back an hour
    EXPECT_EQ(actions.count(Call::Open), 2);
}

TEST_F(ScheduleTickTest, MissingFilesGiveTheMidnightMinute)
{
    test::TempFolder folder;
    table = loadSchedule(folder.path());
    runSteps({
        {janDay(3, 0, 0, 0), 1, 1, 0},
        {janDay(3, 0, 0, 59), 1, 1, 0},
        {janDay(3, 0, 1, 0), 0, 1, 1},
        {janDay(3, 12, 0, 0), 0, 1, 1},
    });
}

// Indexes outside the 128 labels close the day, whichever end they are.
TEST_F(ScheduleTickTest, OutOfRangeIndexClosesTheDay)
{
    for (const int32_t bad : {-1, 128, INT32_MAX, INT32_MIN}) {
        for (const int end : {0, 1}) {
            SCOPED_TRACE(std::to_string(bad) + (end ? " as end" : " as start"));
            table = ScheduleTable{};  // every other index 0: "" .. "" would be 00:00
            table.week.index[static_cast<size_t>(end)] = bad;
            EXPECT_FALSE(dayWindow(table, 0).has_value());
            tickAt(janDay(0, 0, 0));
            EXPECT_EQ(state.scheduledRecording[0].load(), 0);
            tickAt(janDay(1, 0, 0));  // Tuesday untouched
            EXPECT_EQ(state.scheduledRecording[0].load(), 1);
            tickAt(janDay(1, 0, 1));
        }
    }
}

TEST(LabelMinutes, ReadsFirstTwoAndLastTwoCharacters)
{
    const struct {
        const char* label;
        int minutes;
    } cases[] = {
        {"08:30", 8 * 60 + 30}, {"8:30", 8 * 60 + 30}, {"23:59", 23 * 60 + 59}, {"", 0},   {"xx", 0},
        {"12", 12 * 60 + 12},   {"7", 7 * 60 + 7},     {"10h", 10 * 60},       {"ab:cd", 0}, {"08:30\t", 8 * 60 + 0},
    };
    for (const auto& c : cases) EXPECT_EQ(labelMinutes(c.label), c.minutes) << '"' << c.label << '"';
}

TEST(DayWindowOf, EndBeforeStartRunsPastMidnight)
{
    ScheduleTable table = closedWeek();
    setDay(table, 4, "22:00", "06:00");
    const auto window = dayWindow(table, 4);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->startMinute, 22 * 60);
    EXPECT_EQ(window->endMinute, 6 * 60 + 1440);

    // Hours beyond 23 read as they are: the window can never be open.
    setDay(table, 5, "38:00", "00:00");
    const auto never = dayWindow(table, 5);
    ASSERT_TRUE(never);
    for (const int minute : {0, 60 * 23 + 59, 1440, 2280}) EXPECT_FALSE(never->contains(minute)) << minute;

    EXPECT_FALSE(dayWindow(table, 7));
    EXPECT_FALSE(dayWindow(table, -1));
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string asText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(LoadSchedule, DamagedOrOddFiles)
{
    test::Bytes full;
    for (uint32_t i = 0; i < 14; ++i) full.u32(0x01000000u * i + i + 1);  // high byte shows byte order
    const std::string fullDat = asText(full.data);
    std::array<int32_t, 14> fullIndex{};
    for (uint32_t i = 0; i < 14; ++i) fullIndex[i] = static_cast<int32_t>(0x01000000u * i + i + 1);

    std::string manyLines;
    for (int i = 0; i < 130; ++i) manyLines += "L" + std::to_string(i) + "\n";

    struct Case {
        const char* name;
        std::optional<std::string> dat;
        std::optional<std::string> txt;
        std::array<int32_t, 14> index;
        std::vector<std::pair<int, std::string>> labels;  // entries to check
    };
    const auto firstOf = [&](int n) {
        std::array<int32_t, 14> index{};
        for (int i = 0; i < n; ++i) index[static_cast<size_t>(i)] = fullIndex[static_cast<size_t>(i)];
        return index;
    };
    const Case cases[] = {
        {"missing files", std::nullopt, std::nullopt, {}, {{0, ""}, {127, ""}}},
        {"empty files", "", "", {}, {{0, ""}}},
        {"whole file", fullDat, "08:00\n18:00\n", fullIndex, {{0, "08:00"}, {1, "18:00"}, {2, ""}}},
        {"10 bytes", fullDat.substr(0, 10), std::nullopt, firstOf(2), {}},
        {"30 bytes", fullDat.substr(0, 30), std::nullopt, firstOf(7), {}},
        {"3 bytes", fullDat.substr(0, 3), std::nullopt, {}, {}},
        {"long file", fullDat + std::string(40, '\x7f'), std::nullopt, fullIndex, {}},
        {"130 lines", std::nullopt, manyLines, {}, {{0, "L0"}, {127, "L127"}}},
        {"CRLF lines", std::nullopt, "08:00\r\n18:00\r\n\r\n9:5\r\r\n", {}, {{0, "08:00"}, {1, "18:00"}, {2, ""}, {3, "9:5"}, {4, ""}}},
        {"no final line end", std::nullopt, "a\nb", {}, {{0, "a"}, {1, "b"}, {2, ""}}},
        {"blank lines kept", std::nullopt, "\n\nc\n", {}, {{0, ""}, {1, ""}, {2, "c"}}},
        {"NUL inside a label", std::nullopt, std::string("1\0002\n", 4), {}, {{0, std::string("1\0002", 3)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder folder;
        if (c.dat) writeFile(folder.path() / weekScheduleFileName, *c.dat);
        if (c.txt) writeFile(folder.path() / hourLabelsFileName, *c.txt);
        const ScheduleTable table = loadSchedule(folder.path());
        EXPECT_EQ(table.week.index, c.index);
        for (const auto& [k, text] : c.labels) EXPECT_EQ(table.labels[static_cast<size_t>(k)], text) << "entry " << k;
    }
}

TEST(LoadSchedule, UnreadablePathsGiveDefaults)
{
    test::TempFolder folder;
    std::filesystem::create_directory(folder.path() / weekScheduleFileName);  // a folder, not a file
    std::filesystem::create_directory(folder.path() / hourLabelsFileName);
    const ScheduleTable table = loadSchedule(folder.path());
    EXPECT_EQ(table.week.index, (std::array<int32_t, 14>{}));
    EXPECT_EQ(table.labels, HourLabels{});
    const ScheduleTable none = loadSchedule(folder.path() / "no such folder");
    EXPECT_EQ(none.week.index, (std::array<int32_t, 14>{}));
}

TEST(SaveSchedule, RoundTripsAndLeavesNoTemporaryFile)
{
    test::TempFolder folder;
    ScheduleTable table;
    for (size_t i = 0; i < table.week.index.size(); ++i) table.week.index[i] = static_cast<int32_t>(i * 9) - 3;
    table.week.index[13] = INT32_MIN;
    table.labels[0] = "08:00";
    table.labels[1] = "";
    table.labels[2] = "18:30";
    table.labels[127] = "last";
    ASSERT_TRUE(saveSchedule(folder.path(), table));

    const ScheduleTable back = loadSchedule(folder.path());
    EXPECT_EQ(back.week.index, table.week.index);
    EXPECT_EQ(back.labels, table.labels);

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"hours.dat", "hours.txt"}));

    // Saving again replaces both files.
    ScheduleTable second;
    second.labels[0] = "07:00";
    ASSERT_TRUE(saveSchedule(folder.path(), second));
    const ScheduleTable again = loadSchedule(folder.path());
    EXPECT_EQ(again.week.index, second.week.index);
    EXPECT_EQ(again.labels, second.labels);
    std::ifstream txt(folder.path() / hourLabelsFileName, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(txt), {}), "07:00\n");
}

TEST(SaveSchedule, RefusesWhatWouldNotReadBack)
{
    test::TempFolder folder;
    ScheduleTable good;
    good.labels[0] = "08:00";
    ASSERT_TRUE(saveSchedule(folder.path(), good));

    for (const char* label : {"08:00\n09:00", "08:00\r"}) {
        ScheduleTable bad;
        bad.week.index[0] = 5;
        bad.labels[3] = label;
        EXPECT_FALSE(saveSchedule(folder.path(), bad));
        const ScheduleTable kept = loadSchedule(folder.path());
        EXPECT_EQ(kept.week.index, good.week.index);  // nothing written
        EXPECT_EQ(kept.labels, good.labels);
    }
    EXPECT_FALSE(saveSchedule(folder.path() / "no such folder", good));
}

}  // namespace
}  // namespace cx

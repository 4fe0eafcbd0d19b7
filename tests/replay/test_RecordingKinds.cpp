// Which files replay lists and which reader opens them.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "RecordingKinds.h"
#include "RecordingReader.h"
#include "VideoFileReader.h"

using namespace cx;

namespace {

TEST(RecordingKinds, ByTheEndingOfTheNameInAnyCase)
{
    struct Case {
        const char* name;
        std::optional<RecordingKind> kind;
    };
    const Case cases[] = {
        {"Date_06_12_2026_Time_15_54_49.avi", RecordingKind::Avi},
        {"Date_06_12_2026_Time_15_54_49_2.AVI", RecordingKind::Avi},
        {"Date_06_12_2026_Time_15_54_49.mkv", RecordingKind::VideoFile},
        {"video/Gate/Date_06_12_2026_Time_15_54_49.MKV", RecordingKind::VideoFile},
        {"Date_06_12_2026_Time_15_54_49.avi.times", std::nullopt},  // the frame times beside a recording
        {"notes.txt", std::nullopt},
        {"mkv", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(recordingKind(c.name), c.kind) << c.name;

    EXPECT_NE(dynamic_cast<RecordingReader*>(makeReplayReader("a.AVI").get()), nullptr);
    EXPECT_NE(dynamic_cast<VideoFileReader*>(makeReplayReader("a.mkv").get()), nullptr);
    // A name of no kind (picked in the file dialog): FFmpeg reads what it can.
    EXPECT_NE(dynamic_cast<VideoFileReader*>(makeReplayReader("a.mp4").get()), nullptr);
}

}  // namespace

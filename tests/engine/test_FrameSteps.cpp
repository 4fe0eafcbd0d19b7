#include <gtest/gtest.h>

#include <filesystem>

#include "AppState.h"
#include "AviRecorder.h"
#include "FrameDrawer.h"
#include "FrameSteps.h"
#include "OverlayBitmaps.h"
#include "PaneBuffer.h"
#include "support/AviReader.h"
#include "support/FakeClock.h"
#include "support/JpegFixtures.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

struct Pipeline : ::testing::Test {
    TempFolder folder;
    AppState state;
    FakeClock clock;
    RecordingNotifier notifier;
    OverlayBitmaps bitmaps = OverlayBitmaps::builtIn();
    FrameDecoder decoder;
    FrameDrawer drawer{state, bitmaps};
    AviRecorder recorder{state, notifier, clock};
    FrameServices services{decoder, drawer, recorder};
    PaneBuffer pane{{200, 150}};
    int repaints = 0;

    Pipeline()
    {
        state.programFolder = folder.path();
        state.cameraTable.allocate(1);
        state.cameraTable.count = 1;
        state.setCameraName(0, "Door");
        fs::create_directories(folder.path() / "video" / "Door");
        clock.wall = 1'780'000'000;
        pane.setRepaintRequest([this] { ++repaints; });
        state.viewWindow[0] = &pane;
        state.picturesWanted = 1;
    }

    DecodeResult frame(const std::vector<uint8_t>& jpeg) { return RunFrameSteps(state, services, 0, jpeg, 10.0f); }
};

}  // namespace

TEST_F(Pipeline, DrawsScaledDownButRecordsTheOwnSize)
{
    state.settings.compressOptions.handler = fourCC('D', 'I', 'B', ' ');
    ASSERT_TRUE(recorder.OpenRecording(recorder.BuildRecordingName(0), 0));
    const fs::path path = state.aviFile[0]->path();
    const auto jpeg = quadrantJpeg(640, 480);

    // Not recording yet: decoded only as far as the 200 x 150 pane needs.
    DecodeResult r = frame(jpeg);
    EXPECT_EQ(r.width, 640);
    EXPECT_EQ(decoder.currentPicture().pixels.size(), QSize(320, 240));
    EXPECT_EQ(recorder.frameCounter(), 1);

    // Recording bitmaps: the recorder needs every pixel.
    state.manualRecording[0] = 1;
    r = frame(jpeg);
    EXPECT_EQ(decoder.currentPicture().pixels.size(), QSize(640, 480));
    EXPECT_EQ(recorder.frameCounter(), 2);
    EXPECT_EQ(repaints, 2);
    recorder.CloseRecording(0);

    const AviFile avi = readAvi(path);
    ASSERT_EQ(avi.framePositions().size(), 1u);
    EXPECT_EQ(avi.chunks[0].data.size(), 640u * 480u * 3u);
}

TEST_F(Pipeline, OnlySlotsWithAPaneAndATableEntryAreDrawn)
{
    const auto jpeg = quadrantJpeg(64, 48);
    frame(jpeg);
    EXPECT_EQ(repaints, 1);
    // A slot without a table entry (a reload took it away) is not drawn.
    state.viewWindow[1] = &pane;
    RunFrameSteps(state, services, 1, jpeg, 10.0f);
    EXPECT_EQ(repaints, 1);
    state.viewWindow[1] = nullptr;
    // Without a pane nothing is decoded at all.
    state.viewWindow[0] = nullptr;
    const int64_t decodes = decoder.decodeCount();
    EXPECT_FALSE(frame(jpeg).decoded);
    EXPECT_EQ(decoder.decodeCount(), decodes);
    EXPECT_EQ(repaints, 1);
}

TEST_F(Pipeline, UnseenFramesAreRecordedWithTheirOwnSizeButNotDecoded)
{
    ASSERT_TRUE(recorder.OpenRecording(recorder.BuildRecordingName(0), 0));
    const fs::path path = state.aviFile[0]->path();
    state.manualRecording[0] = 1;
    state.picturesWanted = 0;  // window minimized, in the tray, or none at all
    const auto jpeg = quadrantJpeg(640, 480);
    const DecodeResult r = frame(jpeg);
    EXPECT_EQ(r.width, 640);  // from the header, not the 320 x 240 of an undecoded frame
    EXPECT_EQ(r.height, 480);
    EXPECT_EQ(decoder.decodeCount(), 0);
    EXPECT_EQ(repaints, 0);
    // A frame that is no JPEG at all has no size to record with.
    frame(std::vector<uint8_t>{'n', 'o', 'p', 'e'});
    recorder.CloseRecording(0);

    const AviFile avi = readAvi(path);
    ASSERT_EQ(avi.framePositions().size(), 1u);
    EXPECT_EQ(avi.chunks[0].data, jpeg);  // the camera's bytes unchanged
    ASSERT_GE(avi.format.size(), 12u);  // the stream's bitmap header: width at 4, height at 8
    EXPECT_EQ(le32(&avi.format[4]), 640u);
    EXPECT_EQ(le32(&avi.format[8]), 480u);
}

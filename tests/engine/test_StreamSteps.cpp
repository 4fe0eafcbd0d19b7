// What the engine does with an RTSP camera's packets: which stream the
// pane shows, that nothing is decoded unseen, and key-frame snapshots.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include <turbojpeg.h>

#include "AppState.h"
#include "AviRecorder.h"
#include "CameraModels.h"
#include "FrameDrawer.h"
#include "OverlayBitmaps.h"
#include "PaneBuffer.h"
#include "Snapshot.h"
#include "StreamSteps.h"
#include "support/EncodedClip.h"
#include "support/FakeClock.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

// A paint that takes its time: the pane's lock is held from construction
// until release() (at the latest the destructor).
class HeldPane {
public:
    explicit HeldPane(PaneBuffer& pane)
    {
        painter_ = std::thread([this, &pane] {
            pane.read([this](const QImage&) {
                holding_.set_value();
                release_.get_future().wait();
            });
        });
        holding_.get_future().wait();
    }
    ~HeldPane() { release(); }
    HeldPane(const HeldPane&) = delete;
    HeldPane& operator=(const HeldPane&) = delete;
    void release()
    {
        if (!painter_.joinable()) return;
        release_.set_value();
        painter_.join();
    }

private:
    std::promise<void> holding_;
    std::promise<void> release_;
    std::thread painter_;
};

struct StreamPane : ::testing::Test {
    TempFolder folder;
    AppState state;
    FakeClock clock;
    RecordingNotifier notifier;
    OverlayBitmaps bitmaps = OverlayBitmaps::builtIn();
    FrameDrawer drawer{state, bitmaps};
    AviRecorder recorder{state, notifier, clock};
    StreamSteps steps{state, drawer, recorder, clock};
    PaneBuffer pane{{200, 150}};
    // Red main stream, blue sub stream: the pane's colour tells which is shown.
    EncodedClip main{"color=c=red:s=640x360:r=15", "libx264", 40, 10};
    EncodedClip sub{"color=c=blue:s=320x180:r=15", "libx265", 40, 10};

    StreamPane()
    {
        state.programFolder = folder.path();
        state.cameraTable.allocate(1);
        state.cameraTable.count = 1;
        state.cameraTable.type[0] = rtspType;
        state.setCameraName(0, "Gate");
        clock.wall = 1'780'000'000;
        state.viewWindow[0] = &pane;
        state.picturesWanted = 1;
        state.settings.monitorEnabled[0] = 1;
    }

    void feed(const EncodedClip& clip, size_t k, RtspRole role, bool subLive = true)
    {
        steps.run(0, StreamPacket{clip.input(), clip.packet(k), role, true, subLive, role == RtspRole::Main ? 1u : 2u});
        // The main stream is decoded on a thread of its own.
        steps.waitForPanes();
    }
    // Packet k of both streams, main first.
    void feedBoth(size_t k, bool subLive = true)
    {
        feed(main, k, RtspRole::Main, subLive);
        feed(sub, k, RtspRole::Sub, subLive);
    }
    // The colour in the middle of the picture area of the pane.
    QColor shown() const { return pane.image().pixelColor(100, 90); }
    static bool red(QColor c) { return c.red() > 200 && c.blue() < 60; }
    static bool blue(QColor c) { return c.blue() > 200 && c.red() < 60; }
};

}  // namespace

TEST_F(StreamPane, ShowsTheSubStreamAndTheMainOneWhileMagnified)
{
    ASSERT_TRUE(main.ok() && sub.ok());
    ASSERT_TRUE(EncodedClip::key(main.packet(0)) && EncodedClip::key(sub.packet(0)));
    for (size_t k = 0; k < 5; ++k) feedBoth(k);
    EXPECT_TRUE(blue(shown())) << shown().name().toStdString();
    EXPECT_EQ(steps.decodeCount(), 5) << "the main stream is not decoded for a small pane";

    // Magnified: the sub stream stays on the pane until the main stream's
    // next key frame (packet 10) has given a picture, then only main is decoded.
    state.viewEnlarged[0] = 1;
    for (size_t k = 5; k < 10; ++k) feedBoth(k);
    EXPECT_TRUE(blue(shown()));
    EXPECT_EQ(steps.decodeCount(), 10);
    feedBoth(10);
    EXPECT_TRUE(red(shown())) << shown().name().toStdString();
    const int64_t atSwitch = steps.decodeCount();
    for (size_t k = 11; k < 20; ++k) feedBoth(k);
    EXPECT_EQ(steps.decodeCount(), atSwitch + 9) << "one stream decoded once the main one shows";
    EXPECT_TRUE(red(shown()));

    state.viewEnlarged[0] = 0;
    for (size_t k = 20; k < 25; ++k) feedBoth(k);
    EXPECT_TRUE(blue(shown()));
}

TEST_F(StreamPane, WithoutALiveSubStreamTheMainStreamIsShown)
{
    ASSERT_TRUE(main.ok());
    for (size_t k = 0; k < 3; ++k) feed(main, k, RtspRole::Main, false);
    EXPECT_TRUE(red(shown())) << shown().name().toStdString();
    EXPECT_EQ(steps.decodeCount(), 3);
}

TEST_F(StreamPane, NothingIsDecodedThatNobodySees)
{
    ASSERT_TRUE(main.ok() && sub.ok());
    struct Case {
        const char* name;
        std::function<void(AppState&, bool)> hide;  // true: hide, false: show again
    } cases[] = {
        {"hidden window", [](AppState& s, bool h) { s.picturesWanted = h ? 0 : 1; }},
        {"live view off", [](AppState& s, bool h) { s.settings.monitorEnabled[0] = h ? 0 : 1; }},
        {"no pane", [this](AppState& s, bool h) { s.viewWindow[0] = h ? nullptr : &pane; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t before = steps.decodeCount();
        c.hide(state, true);
        state.viewEnlarged[0] = 0;
        for (size_t k = 0; k < 13; ++k) feedBoth(k);
        state.viewEnlarged[0] = 1;
        for (size_t k = 13; k < 16; ++k) feedBoth(k);
        EXPECT_EQ(steps.decodeCount(), before);
        // Seen again: decoding starts at the next key frame, not in the middle.
        c.hide(state, false);
        state.viewEnlarged[0] = 0;
        for (size_t k = 16; k < 20; ++k) feedBoth(k);
        EXPECT_EQ(steps.decodeCount(), before);
        feedBoth(20);
        EXPECT_EQ(steps.decodeCount(), before + 1);
    }
}

TEST_F(StreamPane, AMainStreamPaneThatCannotBeDrawnDoesNotHoldUpTheReadingThread)
{
    ASSERT_TRUE(main.ok() && sub.ok());
    for (size_t k = 0; k < 5; ++k) feedBoth(k);
    ASSERT_TRUE(blue(shown()));

    // A paint that takes its time holds the pane while the camera is magnified.
    HeldPane held(pane);
    state.viewEnlarged[0] = 1;
    auto reading = std::async(std::launch::async, [this] {
        for (size_t k = 5; k < 40; ++k)
            steps.run(0, StreamPacket{main.input(), main.packet(k), RtspRole::Main, true, true, 1u});
    });
    const bool readOn = reading.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    held.release();
    reading.wait();
    EXPECT_TRUE(readOn) << "the main stream's thread waited for the pane";

    // Packets that could not wait were left out; the pane comes back to the
    // main stream at the next key frame once it can be drawn.
    steps.waitForPanes();
    EXPECT_LT(steps.decodeCount(), 5 + 35);
    for (size_t k = 30; k < 35; ++k) feed(main, k, RtspRole::Main);
    EXPECT_TRUE(red(shown())) << shown().name().toStdString();
}

TEST_F(StreamPane, NothingOfAnEndedConnectionReachesThePaneAfterIt)
{
    ASSERT_TRUE(main.ok() && sub.ok());
    for (size_t k = 0; k < 5; ++k) feedBoth(k);
    const int64_t before = steps.decodeCount();

    // The pane is held while the main stream's key frame is drawn, so the
    // packets after it wait in the queue when the connection ends.
    HeldPane held(pane);
    state.viewEnlarged[0] = 1;
    for (size_t k = 10; k < 18; ++k)
        steps.run(0, StreamPacket{main.input(), main.packet(k), RtspRole::Main, true, true, 1u});
    // The key frame is decoded and waits for the pane.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (steps.decodeCount() == before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(steps.decodeCount(), before + 1);
    auto ended = std::async(std::launch::async, [this] { steps.streamEnded(0); });
    EXPECT_EQ(ended.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "the decode under way finishes first";
    held.release();
    ended.wait();
    const int64_t atEnd = steps.decodeCount();
    steps.waitForPanes();
    EXPECT_EQ(steps.decodeCount(), atEnd) << "queued packets of the ended connection were decoded";
    EXPECT_EQ(atEnd, before + 1);
}

TEST_F(StreamPane, ASnapshotIsTheMainStreamsNextKeyFrameAsAJpeg)
{
    ASSERT_TRUE(main.ok());
    fs::create_directories(folder.path() / "snapshots");
    const fs::path file = folder.path() / "snapshots" / snapshotFileName("Gate", clock.wall);
    feed(main, 0, RtspRole::Main, false);
    state.snapshotRequest[0] = 1;
    for (size_t k = 1; k < 10; ++k) feed(main, k, RtspRole::Main, false);
    EXPECT_FALSE(fs::exists(file)) << "no snapshot from a frame that is not a key frame";
    EXPECT_EQ(state.snapshotRequest[0].load(), 1);
    feed(main, 10, RtspRole::Main, false);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(state.snapshotRequest[0].load(), 0);

    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(in)), {});
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colours = 0;
    ASSERT_EQ(tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colours), 0);
    std::vector<unsigned char> rgb(static_cast<size_t>(width * height * 3));
    ASSERT_EQ(tjDecompress2(handle, jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, 0), 0);
    tjDestroy(handle);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 360);
    const size_t middle = (static_cast<size_t>(180 * 640 + 320)) * 3;
    EXPECT_GT(rgb[middle], 200);
    EXPECT_LT(rgb[middle + 2], 60);
}

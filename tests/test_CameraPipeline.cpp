// The whole headless frame path: simulated cameras, real workers, decode,
// drawing into panes, snapshots and recordings.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <set>
#include <iterator>
#include <thread>

#include "AppState.h"
#include "AviRecorder.h"
#include "CameraSimulator.h"
#include "CameraWorkers.h"
#include "Clock.h"
#include "FrameDrawer.h"
#include "FrameHandoff.h"
#include "OverlayBitmaps.h"
#include "PaneBuffer.h"
#include "support/AviReader.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

bool waitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1500 && !done(); ++i) std::this_thread::sleep_for(10ms);
    return done();
}

// Distinct colours in a pane: something was drawn there.
int distinctColours(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

}  // namespace

TEST(CameraPipeline, EveryMethodDecodesDrawsSnapshotsAndRecords)
{
    TempFolder folder;
    AppState state;
    state.programFolder = folder.path();
    RecordingNotifier notifier;
    SystemClock& clock = SystemClock::instance();
    OverlayBitmaps bitmaps = OverlayBitmaps::builtIn();
    FrameDecoder decoder;
    FrameDrawer drawer{state, bitmaps};
    AviRecorder recorder{state, notifier, clock};
    FrameHandoff handoff(state, FrameServices{decoder, drawer, recorder}, clock);

    sim::CameraSimulator simulator;
    sim::CameraConfig streamCamera;
    streamCamera.kind = sim::CameraKind::Stream;
    streamCamera.path = "/axis-cgi/mjpg/video.cgi?showlength=1";
    streamCamera.fps = 100;
    streamCamera.width = 640;
    streamCamera.height = 480;
    sim::CameraConfig snapshotCamera = streamCamera;
    snapshotCamera.kind = sim::CameraKind::Snapshot;
    snapshotCamera.path = "/netcam.jpg";
    sim::CameraConfig protocolCamera = streamCamera;
    protocolCamera.kind = sim::CameraKind::Protocol;

    const struct {
        sim::CameraConfig config;
        CameraType type;
        const char* name;
    } cameras[] = {{streamCamera, 101, "Stream"}, {snapshotCamera, 200, "Snapshot"}, {protocolCamera, 0, "Protocol"}};
    std::vector<std::unique_ptr<PaneBuffer>> panes;
    state.cameraTable.allocate(3);
    for (int slot = 0; slot < 3; ++slot) {
        sim::CameraConfig config = cameras[slot].config;
        int port = 0;
        // The binary protocol's address needs a four-digit port.
        for (int p = 7400 + static_cast<int>(::getpid() % 1000); port == 0 && p < 9999; p += 7) {
            config.port = config.kind == sim::CameraKind::Protocol ? p : 0;
            port = simulator.add(config);
        }
        ASSERT_NE(port, 0);
        const auto i = static_cast<size_t>(slot);
        state.cameraTable.address[i] = "127.0.0.1:" + std::to_string(port);
        state.cameraTable.type[i] = cameras[slot].type;
        state.setCameraName(slot, cameras[slot].name);
        fs::create_directories(folder.path() / "video" / cameras[slot].name);
        panes.push_back(std::make_unique<PaneBuffer>(QSize(200, 150)));
        state.viewWindow[i] = panes.back().get();
        state.manualRecording[i] = 1;
        ASSERT_TRUE(recorder.OpenRecording(recorder.BuildRecordingName(slot), slot));
    }
    state.cameraTable.count = 3;
    state.loadedRows = 3;
    fs::create_directories(folder.path() / "snapshots");
    state.snapshotRequest[0] = 1;
    state.snapshotRequest[2] = 1;

    CameraWorkers workers(state, handoff, notifier, clock);
    workers.ConnectAllCameras();
    EXPECT_TRUE(waitUntil([&] {
        for (int slot = 0; slot < 3; ++slot)
            if (state.framesReceived[static_cast<size_t>(slot)].load() < 31) return false;  // a whole frame-rate block
        return true;
    }));
    EXPECT_TRUE(workers.stopAll(1000ms));
    for (int slot = 0; slot < 3; ++slot) recorder.CloseRecording(slot);
    EXPECT_TRUE(notifier.texts().empty());

    for (int slot = 0; slot < 3; ++slot) {
        SCOPED_TRACE(cameras[slot].name);
        // Drawn into the pane.
        EXPECT_GT(distinctColours(panes[static_cast<size_t>(slot)]->image()), 10);
        // Recorded unchanged and in order: the camera's numbers follow each other.
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(folder.path() / "video" / cameras[slot].name))
            files.push_back(e.path());
        ASSERT_EQ(files.size(), 1u);
        const AviFile avi = readAvi(files[0]);
        std::optional<uint64_t> previous;
        size_t frames = 0;
        for (const auto& chunk : avi.chunks) {
            if (chunk.data.empty()) continue;  // the empty positions between frames
            ++frames;
            const auto number = sim::simulatedFrameNumber(chunk.data.data(), chunk.data.size());
            ASSERT_TRUE(number.has_value());
            if (previous) {
                EXPECT_EQ(*number, *previous + 1);
            }
            previous = number;
        }
        EXPECT_GE(frames, 12u);
    }
    // The snapshots hold the cameras' bytes unchanged.
    int snapshots = 0;
    for (const auto& e : fs::directory_iterator(folder.path() / "snapshots")) {
        std::ifstream in(e.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_TRUE(sim::simulatedFrameNumber(bytes.data(), bytes.size()).has_value());
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name.rfind("Stream_Date_", 0) == 0 || name.rfind("Protocol_Date_", 0) == 0) << name;
        ++snapshots;
    }
    EXPECT_EQ(snapshots, 2);
    EXPECT_EQ(state.snapshotRequest[0].load(), 0);
    EXPECT_GT(state.frameRate[0].lastFrameRate, 0.0f);
}

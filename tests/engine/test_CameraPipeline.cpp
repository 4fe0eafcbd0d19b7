// The whole headless frame path: simulated cameras, real workers, decode,
// drawing into panes, snapshots and recordings.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <set>
#include <iterator>
#include <thread>

#include <QCoreApplication>
#include <QImage>

#include "CameraSimulator.h"
#include "Engine.h"
#include "support/EngineInternals.h"
#include "support/AviReader.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Polls `done` for at most 15 s, delivering the engine's events meanwhile.
bool waitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1500 && !done(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(10ms);
    }
    QCoreApplication::processEvents();
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
    Engine engine({folder.path()});
    AppState& state = EngineInternals::state(engine);
    std::vector<std::string> messages;
    QObject::connect(&engine, &Engine::message, [&](const QString& text) { messages.push_back(text.toStdString()); });
    std::set<std::pair<int, bool>> recordingEvents;
    QObject::connect(&engine, &Engine::recordingOpened, [&](int slot) { recordingEvents.insert({slot, true}); });
    QObject::connect(&engine, &Engine::recordingClosed, [&](int slot) { recordingEvents.insert({slot, false}); });
    std::set<int> updatedPanes;
    QObject::connect(&engine, &Engine::paneUpdated, [&](int slot) { updatedPanes.insert(slot); });

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
    CameraTable table;
    table.allocate(3);
    table.count = 3;
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
        table.address[i] = "127.0.0.1:" + std::to_string(port);
        table.type[i] = cameras[slot].type;
        state.setCameraName(slot, cameras[slot].name);
        fs::create_directories(folder.path() / "video" / cameras[slot].name);
    }
    state.replaceCameraTable(table, 3);
    engine.rebuildPanes(3, QSize(200, 150));
    engine.setPicturesWanted(true);
    for (int slot = 0; slot < 3; ++slot) ASSERT_TRUE(engine.startManualRecording(slot));
    fs::create_directories(folder.path() / "snapshots");
    engine.requestSnapshot(0);
    engine.requestSnapshot(2);

    engine.connectAllCameras();
    EXPECT_TRUE(waitUntil([&] {
        for (int slot = 0; slot < 3; ++slot)
            if (state.framesReceived[static_cast<size_t>(slot)].load() < 31) return false;  // a whole frame-rate block
        return updatedPanes.size() == 3;
    }));
    EXPECT_TRUE(engine.shutdown(1000ms));  // also closes the recordings
    waitUntil([&] { return recordingEvents.size() == 6; });
    EXPECT_TRUE(messages.empty());
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_TRUE(recordingEvents.count({slot, true})) << slot;
        EXPECT_TRUE(recordingEvents.count({slot, false})) << slot;
    }

    for (int slot = 0; slot < 3; ++slot) {
        SCOPED_TRACE(cameras[slot].name);
        // Drawn into the pane.
        EXPECT_GT(distinctColours(engine.paneImage(slot)), 10);
        // Recorded unchanged and in order: the camera's numbers follow each other.
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(folder.path() / "video" / cameras[slot].name))
            if (e.path().extension() == ".avi") files.push_back(e.path());
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
    EXPECT_GT(state.frameRate[0].lastFrameRate.load(), 0.0f);
}

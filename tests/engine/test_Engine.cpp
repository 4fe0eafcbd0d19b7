// The engine driven headless against simulated cameras, as every front end
// drives it: commands while frames flow, bounded stops whatever the cameras
// do, messages that never block a worker, unseen frames not decoded, one
// camera's slow disk holding no other camera, and the schedule through the
// engine on a simulated clock.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <QImage>
#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <thread>

#include "AviRecorder.h"
#include "CameraDatabase.h"
#include "CameraSimulator.h"
#include "Engine.h"
#include "Schedule.h"
#include "SettingsFile.h"
#include "support/AviReader.h"
#include "support/EngineInternals.h"
#include "support/FakeClock.h"
#include "support/HungDisk.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Polls `done` for at most `limit`, delivering the engine's events meanwhile.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(10ms);
    }
    QCoreApplication::processEvents();
    return done();
}

// Delivers events for `d`.
void runFor(std::chrono::milliseconds d)
{
    waitUntil([] { return false; }, d);
}

sim::CameraConfig streamCamera(double fps = 50)
{
    sim::CameraConfig c;
    c.kind = sim::CameraKind::Stream;
    c.path = "/axis-cgi/mjpg/video.cgi?showlength=1";
    c.fps = fps;
    return c;
}

struct EngineTest : ::testing::Test {
    TempFolder folder;
    sim::CameraSimulator simulator;
    std::unique_ptr<Engine> engine;
    std::vector<std::string> messages;
    std::vector<std::pair<int, bool>> recordingEvents;  // slot, opened
    explicit EngineTest(const Clock* clock = nullptr)
    {
        EngineOptions options{folder.path()};
        options.clock = clock;
        // Short time-outs keep the failing cases quick; back-off starts small.
        options.timing.backoffStartMs = 100;
        options.timing.backoffMaxMs = 400;
        options.timing.http.connectTimeoutMs = 1000;
        options.timing.http.readTimeoutMs = 60000;  // only a stop may end a stalled read
        options.timing.protocol.connectTimeoutMs = 1000;
        options.timing.protocol.readTimeoutMs = 60000;
        engine = std::make_unique<Engine>(options);
        QObject::connect(engine.get(), &Engine::message,
                         [this](const QString& text) { messages.push_back(text.toStdString()); });
        QObject::connect(engine.get(), &Engine::recordingOpened,
                         [this](int slot) { recordingEvents.push_back({slot, true}); });
        QObject::connect(engine.get(), &Engine::recordingClosed,
                         [this](int slot) { recordingEvents.push_back({slot, false}); });
        fs::create_directories(folder.path() / "snapshots");
    }

    AppState& state() { return EngineInternals::state(*engine); }

    // Puts the cameras in place: `cameras` as (address port, type, name).
    void install(const std::vector<std::tuple<int, CameraType, std::string>>& cameras)
    {
        CameraTable t;
        t.allocate(static_cast<int>(cameras.size()));
        t.count = static_cast<int>(cameras.size());
        for (size_t i = 0; i < cameras.size(); ++i) {
            const auto& [port, type, name] = cameras[i];
            t.address[i] = "127.0.0.1:" + std::to_string(port);
            t.type[i] = type;
            state().setCameraName(static_cast<int>(i), name);
            fs::create_directories(folder.path() / "video" / name);
        }
        state().replaceCameraTable(t, t.count);
        engine->rebuildPanes(t.count, QSize(160, 120));
    }

    // Serves `config`; its port (a four-digit one for the binary protocol).
    int serve(sim::CameraConfig config)
    {
        int port = 0;
        for (int p = 7000 + static_cast<int>(::getpid() % 1500); port == 0 && p < 9999; p += 11) {
            config.port = config.kind == sim::CameraKind::Protocol ? p : 0;
            port = simulator.add(config);
        }
        EXPECT_NE(port, 0);
        return port;
    }

    int frames(int slot) { return state().framesReceived[static_cast<size_t>(slot)].load(); }
};

}  // namespace

TEST_F(EngineTest, NewPicturesAreToldAllPanesTogetherAtMostFiftyTimesASecond)
{
    // Two cameras at 100 frames a second: without the coalescing every
    // frame would be a delivery, and a wake-up of the window's thread.
    install({{serve(streamCamera(100)), 101, "A"}, {serve(streamCamera(100)), 101, "B"}});
    engine->setPicturesWanted(true);
    std::vector<int> updated(2, 0);
    QObject::connect(engine.get(), &Engine::paneUpdated, [&](int slot) { ++updated[static_cast<size_t>(slot)]; });
    engine->connectAllCameras();
    ASSERT_TRUE(waitUntil([&] { return frames(0) > 10 && frames(1) > 10; }));
    const auto started = std::chrono::steady_clock::now();
    const std::vector<int> updatesBefore = updated;
    const int framesBefore = frames(0) + frames(1);
    runFor(1000ms);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int framesSeen = frames(0) + frames(1) - framesBefore;
    for (size_t slot = 0; slot < 2; ++slot) {
        const int told = updated[slot] - updatesBefore[slot];
        EXPECT_GT(told, 0) << "slot " << slot;
        EXPECT_LE(told, 50 * seconds + 2) << "slot " << slot;
    }
    EXPECT_GT(framesSeen, 2 * (50 * seconds + 2)) << "the cameras must send more than is told for this to show anything";
    EXPECT_TRUE(engine->shutdown(2000ms));
}

TEST_F(EngineTest, CamerasStartStopRestartAndReloadWhileFramesFlow)
{
    install({{serve(streamCamera()), 101, "A"}, {serve(streamCamera()), 101, "B"}, {serve(streamCamera()), 1, "C"}});
    engine->setPicturesWanted(true);
    std::vector<int> updated(3, 0);
    QObject::connect(engine.get(), &Engine::paneUpdated, [&](int slot) { ++updated[static_cast<size_t>(slot)]; });
    engine->connectAllCameras();
    ASSERT_TRUE(waitUntil([&] { return frames(0) > 10 && frames(1) > 10 && frames(2) > 10; }));
    ASSERT_TRUE(waitUntil([&] { return updated[0] > 0 && updated[1] > 0 && updated[2] > 0; }));

    // Stop one: it ends, the others go on.
    engine->stopCamera(1);
    ASSERT_TRUE(waitUntil([&] { return engine->slotState(1) == SlotState::Idle; }, 3s));
    const int stoppedAt = frames(1);
    const int othersAt = frames(0);
    runFor(300ms);
    EXPECT_EQ(frames(1), stoppedAt);
    EXPECT_GT(frames(0), othersAt);

    // Restart one that runs: a new connection, frames again.
    const uint64_t connectionsBefore = simulator.connections(0);
    engine->restartCamera(0);
    ASSERT_TRUE(waitUntil([&] { return simulator.connections(0) > connectionsBefore; }, 5s));
    const int restartedAt = frames(0);
    EXPECT_TRUE(waitUntil([&] { return frames(0) > restartedAt + 5; }));
    // Restart one that had stopped: it is simply started.
    engine->restartCamera(1);
    EXPECT_TRUE(waitUntil([&] { return frames(1) > stoppedAt + 5; }));

    // Reload with fewer cameras while frames flow: the dropped slot's worker
    // ends, the others keep going.
    const int keptAt0 = frames(0);
    CameraTable smaller;
    smaller.allocate(2);
    smaller.count = 2;
    {
        const auto entry0 = state().cameraEntry(0);
        const auto entry1 = state().cameraEntry(1);
        smaller.address[0] = entry0->address;
        smaller.type[0] = entry0->type;
        smaller.address[1] = entry1->address;
        smaller.type[1] = entry1->type;
    }
    engine->applyCameraTable(smaller);
    EXPECT_TRUE(waitUntil([&] { return engine->slotState(2) == SlotState::Idle; }, 3s));
    EXPECT_EQ(engine->snapshot()->cameraCount(), 2);
    // A grid rebuild leaves the connections alone: the same ones go on
    // drawing into the new panes.
    const uint64_t connections0 = simulator.connections(0);
    engine->rebuildPanes(2, QSize(200, 150));
    EXPECT_TRUE(waitUntil([&] { return frames(0) > keptAt0 + 5; }));
    const int keptAt = frames(1);
    EXPECT_TRUE(waitUntil([&] { return frames(1) > keptAt + 5; }));
    EXPECT_TRUE(waitUntil([&] { return engine->paneImage(0).size() == QSize(200, 150); }));
    EXPECT_EQ(simulator.connections(0), connections0);
    EXPECT_TRUE(engine->shutdown(2000ms));
    EXPECT_TRUE(messages.empty());
}

TEST_F(EngineTest, StopsWithinTwoSecondsWhateverTheCamerasDo)
{
    sim::CameraConfig stalled = streamCamera();
    stalled.fault = sim::Fault::StallAfterHeaders;
    sim::CameraConfig dripping = streamCamera();
    dripping.fault = sim::Fault::Drip;
    dripping.dripMs = 1000;
    sim::CameraConfig midFrame = streamCamera();
    midFrame.fault = sim::Fault::StallMidFrame;
    midFrame.faultAfter = 2;
    sim::CameraConfig busy;  // answers "too many clients": a message, and the slot stays dark
    busy.kind = sim::CameraKind::Protocol;
    busy.greeting = 120;
    sim::CameraConfig silent;  // accepts and never answers
    silent.kind = sim::CameraKind::Protocol;
    silent.fault = sim::Fault::StallAfterHeaders;
    sim::CameraConfig protocolMidFrame;
    protocolMidFrame.kind = sim::CameraKind::Protocol;
    protocolMidFrame.fault = sim::Fault::StallMidFrame;
    protocolMidFrame.faultAfter = 2;
    install({{serve(stalled), 101, "Stalled"},
             {serve(dripping), 101, "Dripping"},
             {serve(midFrame), 101, "MidFrame"},
             {serve(busy), 0, "Busy"},
             {serve(silent), 0, "Silent"},
             {serve(protocolMidFrame), 0, "ProtocolMidFrame"},
             {serve(streamCamera()), 101, "Good"}});
    for (int slot = 0; slot < 7; ++slot) engine->startManualRecording(slot);
    engine->connectAllCameras();
    // Let each reach its fault; the busy camera's message is not waited for.
    ASSERT_TRUE(waitUntil([&] { return frames(2) >= 2 && frames(5) >= 2 && frames(6) > 20 && !messages.empty(); }));
    runFor(300ms);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "ERROR: Exceeds maximum client number");

    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine->shutdown(2000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2100ms);
    for (int slot = 0; slot < 7; ++slot) {
        EXPECT_EQ(engine->slotState(slot), SlotState::Ended) << slot;
        EXPECT_EQ(state().aviFile[static_cast<size_t>(slot)], nullptr) << slot;  // the exit step closed it
    }
    // What the good camera recorded is a complete file.
    runFor(50ms);
    for (const auto& e : fs::directory_iterator(folder.path() / "video" / "Good")) {
        if (e.path().extension() != ".avi") continue;  // its frame times
        const AviFile avi = readAvi(e.path());
        EXPECT_TRUE(avi.valid);
        EXPECT_GT(avi.indexEntries, 0u);
        EXPECT_GT(avi.framePositions().size(), 10u);
    }
}

TEST_F(EngineTest, UnseenFramesAreRecordedButNotDecoded)
{
    sim::CameraConfig camera = streamCamera();
    camera.width = 640;
    camera.height = 480;
    install({{serve(camera), 101, "Yard"}});
    engine->setPicturesWanted(false);  // no window, or minimized
    ASSERT_TRUE(engine->startManualRecording(0));
    engine->connectAllCameras();
    ASSERT_TRUE(waitUntil([&] { return frames(0) > 30; }));
    EXPECT_EQ(engine->decodeCount(), 0);

    // The window is shown again: frames are decoded and drawn.
    engine->setPicturesWanted(true);
    ASSERT_TRUE(waitUntil([&] { return engine->decodeCount() > 5; }));
    EXPECT_EQ(engine->paneImage(0).size(), QSize(160, 120));
    engine->stopManualRecording(0);
    EXPECT_TRUE(engine->shutdown(2000ms));

    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder.path() / "video" / "Yard"))
        if (e.path().extension() == ".avi") files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    const AviFile avi = readAvi(files[0]);
    ASSERT_GE(avi.format.size(), 12u);
    EXPECT_EQ(le32(&avi.format[4]), 640u);  // the JPEG's own size, though nothing was decoded at first
    EXPECT_EQ(le32(&avi.format[8]), 480u);
    EXPECT_GT(avi.framePositions().size(), 30u);
}

TEST_F(EngineTest, SlowDiskOfOneCameraHoldsNoOther)
{
    install({{serve(streamCamera(40)), 101, "Slow"}, {serve(streamCamera(40)), 101, "Fast"}});
    // Every write into the slow camera's folder takes 250 ms.
    engine->setRecordingWriteFunction([](int fd, const iovec* pieces, int count, off_t offset) -> ssize_t {
        char link[64];
        char target[4096] = {};
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = ::readlink(link, target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)).find("/Slow/") != std::string::npos)
            std::this_thread::sleep_for(250ms);
        return ::pwritev(fd, pieces, count, offset);
    });
    ASSERT_TRUE(engine->startManualRecording(0));
    ASSERT_TRUE(engine->startManualRecording(1));
    engine->connectAllCameras();
    ASSERT_TRUE(waitUntil([&] { return frames(1) > 5; }));
    const int slow0 = frames(0);
    const int fast0 = frames(1);
    runFor(2000ms);
    const int slow = frames(0) - slow0;
    const int fast = frames(1) - fast0;
    EXPECT_TRUE(engine->shutdown(3000ms));
    // 40 frames/s offered to each: the fast camera keeps most of them while
    // the slow one gets a few frames a second through its disk.
    EXPECT_GT(fast, 50) << "slow " << slow;
    EXPECT_GT(fast, 3 * slow) << "slow " << slow;
}

TEST_F(EngineTest, AHungDiskNeverHoldsTheEnginesThread)
{
    test::HungDisk disk(*engine);
    install({{serve(streamCamera()), 101, "Hung"}, {serve(streamCamera()), 101, "Fine"}});
    engine->connectAllCameras();
    ASSERT_TRUE(engine->startManualRecording(0));
    ASSERT_TRUE(waitUntil([&] { return engine->recordingOpen(0); }));
    disk.arm();
    ASSERT_TRUE(waitUntil([&] { return disk.hungWrites() > 0; }));

    // A timer on this thread goes on firing while the user stops and starts
    // the hung camera's recording, records another camera, and changes the
    // options: none of them waits for the disk.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    engine->stopManualRecording(0);
    engine->startManualRecording(0);
    EXPECT_TRUE(engine->startManualRecording(1));
    SettingsValues settings = engine->snapshot()->settings;
    settings.segmentMinutes = 7;
    engine->changeSettings(settings);
    engine->scheduleTick();
    runFor(500ms);
    EXPECT_GE(ticks, 20);
    EXPECT_FALSE(disk.released());
    EXPECT_TRUE(engine->snapshot()->recording(0));  // what the user asked for shows at once
    // Its new file waits behind the close the disk holds: pending, not failed.
    EXPECT_TRUE(engine->snapshot()->cameras[0].fileOpening);
    EXPECT_EQ(engine->snapshot()->settings.segmentMinutes, 7);
    // The other camera's recording opened while the first one's disk hung.
    EXPECT_TRUE(waitUntil([&] { return engine->snapshot()->cameras[1].fileOpen; }, 3s));

    // Exit keeps its time-out; the hung camera's file stays as a crash would leave it.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine->shutdown());  // the program's own time-out, 2 s
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2500ms);
    disk.release();  // lets the engine's destructor join
}

TEST_F(EngineTest, CameraListCommandsKeepNamesWithTheirRows)
{
    fs::create_directories(folder.path() / "Database");
    ASSERT_TRUE(EngineInternals::database(*engine).createSchema());
    auto camera = [](const std::string& name, const std::string& port) {
        return NewCamera{name, "127.0.0.1", port, "", "", "101"};
    };
    ASSERT_EQ(engine->addCamera(camera("Door", "81")), CameraChange::Done);
    ASSERT_EQ(engine->addCamera(camera("Hall", "82")), CameraChange::Done);
    EXPECT_EQ(engine->addCamera(camera("Hall", "83")), CameraChange::NameInUse);
    auto names = [&] {
        std::vector<std::string> out;
        for (const CameraStatus& c : engine->snapshot()->cameras) out.push_back(c.name + "@" + c.entry.address);
        return out;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"Door@127.0.0.1:81", "Hall@127.0.0.1:82"}));

    // A rename alone (address unchanged) is in effect at once: the slot's
    // next recordings go into the new name's folder.
    EXPECT_EQ(engine->updateCamera(0, "Door", camera("Gate", "81"), false), CameraChange::Done);
    EXPECT_EQ(names(), (std::vector<std::string>{"Gate@127.0.0.1:81", "Hall@127.0.0.1:82"}));
    EXPECT_TRUE(fs::is_directory(folder.path() / "video" / "Gate"));
    EXPECT_EQ(engine->updateCamera(0, "Gate", camera("Hall", "81"), false), CameraChange::NameInUse);

    EXPECT_EQ(engine->removeCamera("Gate"), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"Hall@127.0.0.1:82"}));
}

TEST_F(EngineTest, RtspSettingsTravelWithAddAndUpdate)
{
    fs::create_directories(folder.path() / "Database");
    ASSERT_TRUE(EngineInternals::database(*engine).createSchema());
    const RtspSettings gate{"/Streaming/Channels/101", "/Streaming/Channels/102", false};
    const RtspSettings changed{"/h264/ch1/main/av_stream", "", true};
    auto camera = [](const std::string& name, const std::string& type, std::optional<RtspSettings> rtsp) {
        return NewCamera{name, "10.0.0.7", "554", "admin", "p,w'", type, std::move(rtsp)};
    };
    ASSERT_EQ(engine->addCamera(camera("Gate", "2000", gate)), CameraChange::Done);
    // Settings given with a model of another kind are not kept.
    ASSERT_EQ(engine->addCamera(camera("Door", "101", gate)), CameraChange::Done);
    auto entry = [&](int slot) { return engine->snapshot()->camera(slot)->entry; };
    auto stored = [&] { return CameraDatabase(folder.path()).loadCameras().table; };
    EXPECT_EQ(entry(0).type, rtspType);
    EXPECT_EQ(entry(0).rtsp, gate);
    EXPECT_EQ(entry(0).password, "p,w'");
    EXPECT_EQ(entry(1).rtsp, std::nullopt);
    EXPECT_EQ(stored().rtsp, (std::vector<std::optional<RtspSettings>>{gate, std::nullopt}));
    EXPECT_EQ(engine->snapshot()->camera(0)->problem, "");

    // Renamed with new settings: the snapshot and the database hold them.
    EXPECT_EQ(engine->updateCamera(0, "Gate", camera("Front gate", "2000", changed), false), CameraChange::Done);
    EXPECT_EQ(engine->snapshot()->camera(0)->name, "Front gate");
    EXPECT_EQ(entry(0).rtsp, changed);
    EXPECT_EQ(stored().rtsp[0], changed);
    // A camera of another model takes none, whatever the dialog sends.
    EXPECT_EQ(engine->updateCamera(1, "Door", camera("Door", "101", gate), false), CameraChange::Done);
    EXPECT_EQ(entry(1).rtsp, std::nullopt);
    EXPECT_EQ(stored().rtsp[1], std::nullopt);
    // Taken names are refused before anything is stored.
    EXPECT_EQ(engine->updateCamera(0, "Front gate", camera("Door", "2000", gate), false), CameraChange::NameInUse);
    EXPECT_EQ(stored().rtsp[0], changed);

    EXPECT_EQ(engine->removeCamera("Front gate"), 1);
    ASSERT_EQ(engine->snapshot()->cameraCount(), 1);
    EXPECT_EQ(engine->snapshot()->camera(0)->name, "Door");
    // Re-added under the old name without settings: none come back from the removed camera.
    ASSERT_EQ(engine->addCamera(camera("Front gate", "2000", std::nullopt)), CameraChange::Done);
    EXPECT_EQ(entry(1).rtsp, std::nullopt);
}

// Rows no model can serve: an unknown model code, an RTSP camera without
// its settings. Each is told once, its slot stays offline with the reason
// in the snapshot, and the other cameras go on.
TEST_F(EngineTest, UnusableRowsAreToldOnceAndHoldNoOtherCamera)
{
    fs::create_directories(folder.path() / "Database");
    CameraDatabase& db = EngineInternals::database(*engine);
    ASSERT_TRUE(db.createSchema());
    const int live = serve(streamCamera());
    db.insertCamera("Door", "127.0.0.1", std::to_string(live), "", "", "101");
    db.insertCamera("Odd", "127.0.0.1", std::to_string(serve(streamCamera())), "", "", "77");
    db.insertCamera("Gate", "127.0.0.1", "554", "", "", "2000");
    db.insertCamera("Yard", "127.0.0.1", "554", "", "", "2000", RtspSettings{"/main", "", false});
    ASSERT_EQ(engine->loadCameraTable(), 4);
    engine->rebuildPanes(4, QSize(160, 120));
    engine->connectAllCameras();

    const std::vector<std::string> told{"Camera Odd: unknown camera model 77", "Camera Gate: RTSP settings are missing"};
    ASSERT_TRUE(waitUntil([&] { return messages.size() >= told.size(); }));
    EXPECT_EQ(messages, told);
    auto problems = [&] {
        std::vector<std::string> out;
        for (const CameraStatus& c : engine->snapshot()->cameras) out.push_back(c.problem);
        return out;
    };
    EXPECT_EQ(problems(), (std::vector<std::string>{"", "unknown camera model 77", "RTSP settings are missing", ""}));
    // Their slots end at once and stay idle; the live camera goes on.
    ASSERT_TRUE(waitUntil([&] { return frames(0) > 10; }));
    for (int slot : {1, 2}) EXPECT_TRUE(waitUntil([&] { return engine->slotState(slot) == SlotState::Idle; }, 3s)) << slot;
    EXPECT_EQ(frames(1), 0);  // never asked, though its address serves pictures
    // Nor asked for sound; and an RTSP camera is not asked over HTTP.
    for (int slot : {1, 2, 3}) {
        engine->startAudio(slot);
        EXPECT_FALSE(engine->audioReading()) << slot;
    }

    // The table is loaded again after every change to the camera list:
    // what was told is not told again, and starting the slots again is quiet.
    ASSERT_EQ(engine->addCamera(NewCamera{"Hall", "127.0.0.1", "1", "", "", "101"}), CameraChange::Done);
    engine->startConfiguredCameras();
    engine->restartCamera(1);
    const int framesBefore = frames(0);
    ASSERT_TRUE(waitUntil([&] { return frames(0) > framesBefore + 10; }));
    EXPECT_EQ(messages, told);

    // Settings entered for the RTSP camera end its problem; renaming the
    // other one is a camera with a problem told anew under its new name.
    EXPECT_EQ(engine->updateCamera(2, "Gate", NewCamera{"Gate", "127.0.0.1", "554", "", "", "", RtspSettings{"/m", "", true}},
                                   false),
              CameraChange::Done);
    EXPECT_EQ(engine->updateCamera(1, "Odd", NewCamera{"Odd one", "127.0.0.1", "1", "", "", ""}, false),
              CameraChange::Done);
    ASSERT_TRUE(waitUntil([&] { return messages.size() >= 3; }));
    EXPECT_EQ(messages.back(), "Camera Odd one: unknown camera model 77");
    EXPECT_EQ(problems(), (std::vector<std::string>{"", "unknown camera model 77", "", "", ""}));
    runFor(200ms);
    EXPECT_EQ(messages.size(), 3u);
    EXPECT_GT(frames(0), framesBefore + 10);
}

TEST_F(EngineTest, OptionsAreOnDiskWithinASecondOfAChange)
{
    SettingsValues values = engine->snapshot()->settings;
    values.segmentMinutes = 9;
    values.scheduleRecord[3] = 1;
    engine->changeSettings(values);
    EXPECT_EQ(engine->snapshot()->settings, values);  // published at once
    const auto file = folder.path() / "Configuration.cvx";
    EXPECT_TRUE(waitUntil([&] {
        Settings read;
        loadSettings(read, folder.path());
        return fs::exists(file) && read.values() == values;
    }, 1s));
}

TEST_F(EngineTest, MessagesArriveOnTheFrontEndsThread)
{
    sim::CameraConfig busy;
    busy.kind = sim::CameraKind::Protocol;
    busy.greeting = 120;
    install({{serve(busy), 0, "Busy"}});
    std::thread::id deliveredOn;
    QObject::connect(engine.get(), &Engine::message, [&] { deliveredOn = std::this_thread::get_id(); });
    engine->connectAllCameras();
    ASSERT_TRUE(waitUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    // The worker did not wait for anyone: it has ended and left the slot dark.
    EXPECT_TRUE(waitUntil([&] { return engine->slotState(0) == SlotState::Idle; }, 3s));
}

TEST_F(EngineTest, MonitoringOffEndsAStreamAndOnStartsItAgain)
{
    install({{serve(streamCamera()), 101, "Door"}});
    engine->connectAllCameras();
    ASSERT_TRUE(waitUntil([&] { return frames(0) > 5; }));
    engine->setMonitoring(0, false);
    ASSERT_TRUE(waitUntil([&] { return engine->slotState(0) == SlotState::Idle; }, 3s));
    EXPECT_EQ(engine->snapshot()->settings.monitorEnabled[0], 0);
    const int offAt = frames(0);
    engine->setMonitoring(0, true);
    EXPECT_TRUE(waitUntil([&] { return frames(0) > offAt + 5; }));
    EXPECT_TRUE(engine->shutdown(2000ms));
    // Saved with each change.
    EXPECT_TRUE(fs::exists(folder.path() / "Configuration.cvx"));
}

namespace {

struct ScheduledEngineTest : EngineTest {
    FakeClock clock;
    ScheduledEngineTest() : EngineTest(&clock) {}

    // Local wall-clock seconds of 2024-01-08 (a Monday) at hh:mm.
    static int64_t monday(int hh, int mm)
    {
        std::tm t{};
        t.tm_year = 124;
        t.tm_mon = 0;
        t.tm_mday = 8;
        t.tm_hour = hh;
        t.tm_min = mm;
        t.tm_isdst = -1;
        return static_cast<int64_t>(std::mktime(&t));
    }

    // One stream camera "Gate" in schedule mode, in a timetable from `from`
    // to `to` every day, connected. The clock may jump hours at once: a
    // frame written between a jump and the closing tick must not roll the
    // segment over, so segments last a day.
    bool recordGateDaily(const char* from, const char* to)
    {
        ScheduleTable schedule;
        schedule.labels[0] = from;
        schedule.labels[1] = to;
        schedule.week.index[0] = 0;
        schedule.week.index[1] = 1;
        if (!saveSchedule(folder.path(), schedule)) return false;
        engine->loadSchedule();
        install({{serve(streamCamera()), 101, "Gate"}});
        SettingsValues settings = engine->snapshot()->settings;
        settings.scheduleMode = 1;
        settings.scheduleRecord[0] = 1;
        settings.segmentMinutes = 24 * 60;
        engine->changeSettings(settings);
        engine->connectAllCameras();
        return true;
    }
};

}  // namespace

TEST_F(ScheduledEngineTest, TheTickOpensAndClosesRecordingsThatFramesFill)
{
    // Monday 08:00 to 18:00; every other day too.
    ASSERT_TRUE(recordGateDaily("08:00", "18:00"));

    clock.wall = monday(7, 59);
    engine->scheduleTick();
    EXPECT_FALSE(engine->snapshot()->cameras[0].scheduledRecording);
    clock.wall = monday(8, 0);
    engine->scheduleTick();
    EXPECT_TRUE(engine->snapshot()->cameras[0].scheduledRecording);
    EXPECT_TRUE(engine->snapshot()->recording(0));
    const int at = frames(0);
    ASSERT_TRUE(waitUntil([&] { return frames(0) > at + 20; }));
    clock.wall = monday(18, 1);
    engine->scheduleTick();
    EXPECT_FALSE(engine->snapshot()->recording(0));
    EXPECT_TRUE(waitUntil([&] { return recordingEvents.size() == 2; }));
    ASSERT_EQ(recordingEvents.size(), 2u);
    EXPECT_EQ(recordingEvents[0], std::make_pair(0, true));
    EXPECT_EQ(recordingEvents[1], std::make_pair(0, false));
    EXPECT_TRUE(engine->shutdown(2000ms));

    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder.path() / "video" / "Gate"))
        if (e.path().extension() == ".avi") files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("Date_08_01_2024_Time_08_00_", 0), 0u) << files[0];
    EXPECT_GT(readAvi(files[0]).framePositions().size(), 15u);
}

TEST_F(ScheduledEngineTest, AFailedOpenIsToldOnceAndTriedAgainAMinuteLater)
{
    ASSERT_TRUE(recordGateDaily("00:00", "23:59"));
    ASSERT_TRUE(waitUntil([&] { return frames(0) > 5; }));

    // No file can be made: a file stands where the camera's folder was.
    fs::remove_all(folder.path() / "video" / "Gate");
    fs::create_directories(folder.path() / "video");
    std::ofstream(folder.path() / "video" / "Gate") << "in the way";
    clock.wall = monday(9, 0);
    engine->scheduleTick();
    ASSERT_TRUE(waitUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(messages, std::vector<std::string>{openingRecordingFailedText});
    // Ticks within the minute try nothing; the way is cleared meanwhile.
    fs::remove(folder.path() / "video" / "Gate");
    fs::create_directories(folder.path() / "video" / "Gate");
    for (int s = 1; s < retryOpenSeconds; s += 10) {
        clock.wall = monday(9, 0) + s;
        engine->scheduleTick();
    }
    EXPECT_FALSE(engine->snapshot()->cameras[0].fileOpen);
    EXPECT_TRUE(fs::is_empty(folder.path() / "video" / "Gate"));

    // A minute after the failed open the tick tries again, and frames fill it.
    clock.wall = monday(9, 1);
    engine->scheduleTick();
    ASSERT_TRUE(waitUntil([&] { return engine->snapshot()->cameras[0].fileOpen; }));
    const int at = frames(0);
    ASSERT_TRUE(waitUntil([&] { return frames(0) > at + 10; }));
    EXPECT_TRUE(engine->shutdown(2000ms));
    EXPECT_EQ(messages.size(), 1u);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder.path() / "video" / "Gate"))
        if (e.path().extension() == ".avi") files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("Date_08_01_2024_Time_09_01_", 0), 0u) << files[0];
    EXPECT_GT(readAvi(files[0]).framePositions().size(), 5u);
}

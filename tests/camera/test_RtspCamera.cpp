// RTSP cameras' connections against the simulator's RTSP cameras
// (GStreamer's RTSP server) on 127.0.0.1, run as a process of its own: its
// libraries are not built for the thread sanitizer these tests also run
// under.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "AppState.h"
#include "CameraWorkers.h"
#include "DebugLog.h"
#include "PaneBuffer.h"
#include "RtspInput.h"
#include "support/BlockedLookup.h"
#include "support/RecordingNotifier.h"
#include "support/RecordingSink.h"
#include "support/RefusingPort.h"
#include "support/SimulatorProcess.h"
#include "support/SteppingClock.h"

using namespace cx;
using namespace std::chrono_literals;
using cx::test::SimulatorProcess;
using cx::test::RecordingNotifier;
using cx::test::RecordingSink;

namespace {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

// A cx-camsim camera description: small pictures encoded live, a key frame
// every ten; `more` adds keys ("fault=drop,fault-after=5").
std::string camera(const std::string& codec, bool sub, const std::string& more = "")
{
    return "kind=rtsp,codec=" + codec + ",size=320x240,fps=15,gop=10" + (sub ? ",sub-size=160x120" : "") +
           (more.empty() ? "" : "," + more);
}

// The simulator with these cameras; their ports in order.
std::unique_ptr<SimulatorProcess> simulate(const std::vector<std::string>& cameras)
{
    auto simulator = std::make_unique<SimulatorProcess>(CX_CAMSIM, cameras);
    EXPECT_EQ(simulator->ports.size(), cameras.size());
    return simulator;
}

// Configures slot 0.. in `state` for an RTSP camera at 127.0.0.1:port.
int addRow(AppState& state, int port, RtspSettings settings, const std::string& login = "",
           const std::string& password = "")
{
    auto& t = state.cameraTable;
    const int slot = t.count;
    const auto i = static_cast<size_t>(slot);
    t.address.resize(i + 1);
    t.login.resize(i + 1);
    t.password.resize(i + 1);
    t.type.resize(i + 1);
    t.flipHorizontal.resize(i + 1);
    t.flipVertical.resize(i + 1);
    t.rtsp.resize(i + 1);
    t.address[i] = "127.0.0.1:" + std::to_string(port);
    t.login[i] = login;
    t.password[i] = password;
    t.type[i] = rtspType;
    t.rtsp[i] = settings;
    ++t.count;
    state.loadedRows = t.count;
    state.settings.monitorEnabled[i] = 1;
    state.setCameraName(slot, "Gate " + std::to_string(slot + 1));
    return slot;
}

class RtspCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        timing.backoffStartMs = 100;
        timing.backoffMaxMs = 400;
        timing.rtsp.silence = 2s;
    }
    void TearDown() override
    {
        if (workers_) {
            EXPECT_TRUE(workers_->stopAll(2000ms));
        }
    }
    int port(size_t k) const { return k < simulator->ports.size() ? simulator->ports[k] : 0; }

    CameraWorkers& workers()
    {
        if (!workers_) workers_ = std::make_unique<CameraWorkers>(state, sink, notifier, clock, timing);
        return *workers_;
    }

    // A pane someone sees: the sub stream is received only then.
    RtspCameraTest()
    {
        for (auto& pane : panes) pane = std::make_unique<PaneBuffer>(QSize(200, 150));
        for (size_t i = 0; i < panes.size(); ++i) state.viewWindow[i] = panes[i].get();
        state.picturesWanted = 1;
    }

    std::array<std::unique_ptr<PaneBuffer>, 8> panes;
    AppState state;
    RecordingSink sink;
    RecordingNotifier notifier;
    SystemClock clock;
    WorkerTiming timing;
    std::unique_ptr<SimulatorProcess> simulator;
    std::unique_ptr<CameraWorkers> workers_;
};

struct StreamCase {
    const char* name;
    const char* codec;
    bool sub;
    bool udp;
};

}  // namespace

// Every picture of the main stream arrives, one frame time after the other,
// over TCP and UDP, with and without a sub stream; the sub stream arrives
// beside it and says so.
TEST_F(RtspCameraTest, EveryPictureOfBothStreamsArrivesInOrder)
{
    const StreamCase cases[] = {
        {"H.264 with sub stream over TCP", "h264", true, false},
        {"H.265 without sub stream over UDP", "h265", false, true},
    };
    simulator = simulate({camera(cases[0].codec, cases[0].sub), camera(cases[1].codec, cases[1].sub)});
    for (size_t k = 0; k < 2; ++k) addRow(state, port(k), {"/main", cases[k].sub ? "/sub" : "", cases[k].udp});
    workers().ConnectAllCameras();
    for (int slot = 0; slot < 2; ++slot) {
        SCOPED_TRACE(cases[slot].name);
        const auto main = sink.waitPackets(slot, RtspRole::Main, 30);
        ASSERT_GE(main.size(), 30u);
        EXPECT_TRUE(main.front().key) << "a connection starts at a key frame";
        // 90 kHz timestamps, 15 frames a second: a lost frame leaves a gap.
        for (size_t k = 1; k < main.size(); ++k) EXPECT_NEAR(main[k].pts - main[k - 1].pts, 6000, 1) << k;
        if (cases[slot].sub) {
            const auto sub = sink.waitPackets(slot, RtspRole::Sub, 20);
            ASSERT_GE(sub.size(), 20u);
            EXPECT_TRUE(sink.packets(slot, RtspRole::Main).back().subLive);
        } else {
            EXPECT_TRUE(sink.packets(slot, RtspRole::Sub).empty());
            EXPECT_FALSE(main.back().subLive);
        }
        EXPECT_TRUE(waitUntil([&] { return workers().slotState(slot) == SlotState::Live; }));
    }
    EXPECT_TRUE(notifier.texts().empty());

    // Nobody sees the panes: the sub stream is let go, the main one goes on.
    state.picturesWanted = 0;
    std::this_thread::sleep_for(300ms);
    const size_t subBefore = sink.packets(0, RtspRole::Sub).size();
    const size_t mainBefore = sink.packets(0, RtspRole::Main).size();
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(sink.packets(0, RtspRole::Sub).size(), subBefore);
    EXPECT_GT(sink.packets(0, RtspRole::Main).size(), mainBefore);
}

// Whatever the camera does, a stop ends its connection within 2 s, also
// while a refused login or a wrong path waits for its next try or is being
// tried again; a camera that falls silent is dropped after the silence time
// and asked again.
TEST_F(RtspCameraTest, AStopEndsEveryConnectionWithinTwoSecondsWhateverTheCameraDoes)
{
    timing.rtsp.silence = 10s;
    struct FaultCase {
        const char* name;
        const char* keys;
        const char* path;
        const char* password;
    } cases[] = {
        {"never answers", "fault=never-answer", "/main", ""},
        {"stalls after SETUP", "fault=stall-after-setup", "/main", ""},
        {"sends garbage", "fault=garbage", "/main", ""},
        {"drops after five frames", "fault=drop,fault-after=5", "/main", ""},
        {"streams", "", "/main", ""},
        {"refuses the login", "auth=digest,user=admin,password=right", "/main", "wrong"},
        {"has no such path", "", "/elsewhere", ""},
    };
    std::vector<std::string> cameras;
    for (const FaultCase& c : cases) cameras.push_back(camera("h264", true, c.keys));
    simulator = simulate(cameras);
    for (size_t k = 0; k < cameras.size(); ++k)
        addRow(state, port(k), {cases[k].path, "/sub", false}, *cases[k].password ? "admin" : "", cases[k].password);
    // The refused cameras are stopped once in the wait before their next
    // try, once while they are tried again and again.
    const struct {
        const char* name;
        int backoffMs;
    } moments[] = {{"waiting to try again", 5000}, {"trying again", 1}};
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.name);
        timing.backoffStartMs = timing.backoffMaxMs = moment.backoffMs;
        workers_.reset();
        workers().ConnectAllCameras();
        std::this_thread::sleep_for(1500ms);  // each camera is in the middle of what it does
        if (moment.backoffMs > 1500) {
            for (const int refused : {5, 6}) EXPECT_EQ(workers().slotState(refused), SlotState::BackingOff) << refused;
        }
        EXPECT_TRUE(workers().stopAll(2000ms));
        for (int slot = 0; slot < static_cast<int>(cameras.size()); ++slot)
            EXPECT_EQ(workers().slotState(slot), SlotState::Ended) << cases[slot].name;
    }
}

TEST_F(RtspCameraTest, ASilentCameraIsDroppedAfterTheSilenceTimeAndAskedAgain)
{
    timing.rtsp.silence = 1s;
    simulator = simulate({camera("h264", false, "fault=stall-after-setup")});
    const int slot = addRow(state, port(0), {"/main", "", false});
    // Every state the slot passes through, however briefly.
    std::mutex mutex;
    std::vector<SlotState> states;
    workers_ = std::make_unique<CameraWorkers>(state, sink, notifier, clock, timing, [&](int, SlotState s) {
        std::lock_guard lock(mutex);
        states.push_back(s);
    });
    workers().ConnectAllCameras();
    const std::vector<SlotState> dropped{SlotState::Connecting, SlotState::BackingOff, SlotState::Connecting,
                                         SlotState::BackingOff};
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return states.size() >= dropped.size();
    }));
    // Stopped here: the callback's record must outlive the connection.
    EXPECT_TRUE(workers_->stopAll(2000ms));
    std::lock_guard lock(mutex);
    ASSERT_GE(states.size(), dropped.size());
    EXPECT_EQ(std::vector<SlotState>(states.begin(), states.begin() + 4), dropped);
    EXPECT_TRUE(sink.packets(slot, RtspRole::Main).empty());
}

// A camera given by a host name is looked up by us, not by FFmpeg: a name
// server that never answers holds neither a stop (left within 2 s) nor the
// silence time, which bounds the lookup and the open together.
TEST(RtspHostName, AStopOrTheSilenceEndsAnOpenStillLookingTheHostUp)
{
    const struct {
        const char* name;
        bool stop;
        std::chrono::milliseconds silence;
        RtspOpen end;
    } cases[] = {
        {"stopped while looking up", true, 10s, RtspOpen::Stopped},
        {"silent while looking up", false, 500ms, RtspOpen::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::LookupGate gate;
        HostResolver resolver(gate.lookup("127.0.0.1"));
        std::atomic<bool> stop{false};
        RtspInput input([&] { return stop.load(); }, c.silence, resolver);
        auto opened = std::async(std::launch::async,
                                 [&] { return input.open({"gate.camera.example", 554}, "admin", "pw", "/main", false); });
        // Let go before the future waits for the open, should the open hang.
        const struct Release {
            test::LookupGate& gate;
            ~Release() { gate.release(); }
        } release{gate};
        std::this_thread::sleep_for(300ms);
        if (c.stop) stop = true;
        ASSERT_EQ(opened.wait_for(2s), std::future_status::ready);
        EXPECT_EQ(opened.get(), c.end);
        EXPECT_EQ(gate.calls(), 1);
    }
}

// A camera given by a host name streams; its messages name it as the user
// wrote it.
TEST_F(RtspCameraTest, ACameraGivenByHostNameStreamsAndIsToldByThatName)
{
    simulator = simulate({camera("h264", false)});
    for (const char* path : {"/main", "/elsewhere"}) {
        const int slot = addRow(state, port(0), {path, "", false});
        state.cameraTable.address[static_cast<size_t>(slot)] = "localhost:" + std::to_string(port(0));
    }
    workers().ConnectAllCameras();
    EXPECT_GE(sink.waitPackets(0, RtspRole::Main, 5).size(), 5u);
    EXPECT_TRUE(waitUntil([&] { return !notifier.texts().empty(); }));
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"Camera \"Gate 2\": no stream at rtsp://localhost:" +
                                                         std::to_string(port(0)) + "/elsewhere"});
}

// A refused login and a wrong path are told once, naming the camera and its
// URL but never the login; the camera is asked again quietly. Logins and
// passwords of any characters reach the camera as they are, with basic
// and digest authentication alike.
TEST_F(RtspCameraTest, LoginsOfAnyCharactersWorkAndRefusalsAreToldOnceWithoutThem)
{
    // A colon ends the login in both schemes; everything else is the login's own.
    const std::string user = "us@r 1/ü";
    const std::string password = "p:ss/w@rd?#% ü";
    // The simulator's own key list is comma-separated: the test password has no comma.
    simulator = simulate({camera("h264", false, "auth=basic,user=" + user + ",password=" + password),
                          camera("h264", false, "auth=digest,user=" + user + ",password=" + password)});
    for (size_t k = 0; k < 2; ++k) {
        addRow(state, port(k), {"/main", "", false}, user, password);             // right
        addRow(state, port(k), {"/main", "", false}, user, "wrong-" + password);  // refused
        addRow(state, port(k), {"/elsewhere", "", false}, user, password);        // no such path
    }
    std::vector<std::string> debugLines;
    std::mutex debugMutex;
    const DebugSink previous = setDebugSink([&](std::string_view line) {
        std::lock_guard lock(debugMutex);
        debugLines.emplace_back(line);
    });
    setDebugEnabled(true);
    workers().ConnectAllCameras();
    for (const int slot : {0, 3}) EXPECT_GE(sink.waitPackets(slot, RtspRole::Main, 5).size(), 5u) << slot;
    // Several tries each (back-off 100 to 400 ms), still one message per camera.
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(workers().stopAll(2000ms));
    setDebugEnabled(false);
    setDebugSink(previous);

    const std::vector<std::string> texts = notifier.texts();
    ASSERT_EQ(texts.size(), 4u);
    for (const int slot : {1, 2, 4, 5}) {
        const std::string name = "Gate " + std::to_string(slot + 1);
        int told = 0;
        for (const auto& t : texts) told += t.find("\"" + name + "\"") != std::string::npos;
        EXPECT_EQ(told, 1) << name;
    }
    for (const auto& t : texts) {
        EXPECT_TRUE(t.find("refused the login") != std::string::npos || t.find("no stream at") != std::string::npos)
            << t;
        EXPECT_NE(t.find("rtsp://127.0.0.1:"), std::string::npos) << t;
    }
    std::vector<std::string> everything = texts;
    everything.insert(everything.end(), debugLines.begin(), debugLines.end());
    for (const auto& line : everything) {
        EXPECT_EQ(line.find("p:ss"), std::string::npos) << line;
        EXPECT_EQ(line.find("p%3Ass"), std::string::npos) << line;
        EXPECT_EQ(line.find("us@r"), std::string::npos) << line;
        EXPECT_EQ(line.find("us%40r"), std::string::npos) << line;
        EXPECT_EQ(line.find("wrong-"), std::string::npos) << line;
    }
}

// A sub stream that cannot be opened is told once, naming the camera and
// the sub stream's URL without the login, and the pane shows the main
// stream: not again at each of its back-off retries.
TEST_F(RtspCameraTest, AWrongSubPathIsToldOnceAndThePaneShowsTheMainStream)
{
    timing.rtsp.subRetryStartMs = 50;
    timing.rtsp.subRetryMaxMs = 100;
    const std::string user = "viewer";
    const std::string password = "secret-pw";
    simulator = simulate({camera("h264", true, "auth=basic,user=" + user + ",password=" + password),
                          camera("h264", true),
                          camera("h264", true, "sub-path=/second")});
    const struct {
        RtspSettings settings;
        std::string subPath;  // told about; empty: nothing told
    } cases[] = {
        {{"/main", "/wrong", false}, "/wrong"},
        {{"/main", "/nothing/here", true}, "/nothing/here"},
        {{"/main", "/second", false}, ""},
    };
    for (size_t k = 0; k < std::size(cases); ++k)
        addRow(state, port(k), cases[k].settings, k == 0 ? user : "", k == 0 ? password : "");
    workers().ConnectAllCameras();
    for (int slot = 0; slot < 3; ++slot) EXPECT_GE(sink.waitPackets(slot, RtspRole::Main, 15).size(), 15u) << slot;
    EXPECT_GE(sink.waitPackets(2, RtspRole::Sub, 5).size(), 5u);
    // Many sub stream retries (50 to 100 ms apart).
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(workers().stopAll(2000ms));

    const std::vector<std::string> texts = notifier.texts();
    for (size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        const int slot = static_cast<int>(k);
        const std::string name = "\"Gate " + std::to_string(slot + 1) + "\"";
        std::vector<std::string> told;
        for (const auto& t : texts)
            if (t.find(name) != std::string::npos) told.push_back(t);
        if (cases[k].subPath.empty()) {
            EXPECT_TRUE(told.empty());
            continue;
        }
        ASSERT_EQ(told.size(), 1u) << testing::PrintToString(texts);
        const std::string url = "rtsp://127.0.0.1:" + std::to_string(port(k)) + cases[k].subPath;
        EXPECT_EQ(told[0], "Camera " + name + ": no sub stream at " + url + "; the pane shows the main stream instead");
        EXPECT_TRUE(sink.packets(slot, RtspRole::Sub).empty());
        EXPECT_FALSE(sink.packets(slot, RtspRole::Main).back().subLive) << "the pane shows the main stream";
    }
    for (const auto& t : texts) {
        EXPECT_EQ(t.find(user), std::string::npos) << t;
        EXPECT_EQ(t.find(password), std::string::npos) << t;
    }
}

// A camera that is down is asked again after 1 s, doubling up to 30 s; once
// it has sent pictures and drops again, the next wait is 1 s.
TEST(RtspBackoff, DoublesUpToTheMaximumAndStartsOverAfterPictures)
{
    WorkerTiming timing;
    timing.rtsp.silence = 2s;
    const std::vector<int64_t> refusedWaits = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
    AppState state;
    RecordingSink sink;
    RecordingNotifier notifier;
    test::SteppingClock clock(refusedWaits.size() - 1);
    test::RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    const int slot = addRow(state, refusing.port(), {"/main", "", false});
    CameraWorkers workers(state, sink, notifier, clock, timing);
    workers.StartCamera(slot);
    ASSERT_EQ(clock.waitsOnceThereAre(refusedWaits.size()), refusedWaits);
    EXPECT_TRUE(sink.packets(slot, RtspRole::Main).empty());

    // The camera comes up during the last long wait and drops every
    // connection after five frames.
    refusing.release();
    const auto simulator =
        simulate({camera("h264", false, "port=" + std::to_string(refusing.port()) + ",fault=drop,fault-after=5")});
    ASSERT_EQ(simulator->ports, std::vector<int>{refusing.port()});
    clock.release();
    const auto waits = clock.waitsOnceThereAre(refusedWaits.size() + 1);
    ASSERT_GT(waits.size(), refusedWaits.size());
    EXPECT_GE(sink.packets(slot, RtspRole::Main).size(), 3u);
    EXPECT_EQ(waits[refusedWaits.size()], 1000) << "the wait after pictures had come";
    EXPECT_TRUE(notifier.texts().empty()) << "a camera that is down is not a message";
    EXPECT_TRUE(workers.stopAll(2000ms));
}

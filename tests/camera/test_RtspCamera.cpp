// RTSP cameras' connections against RTSP test cameras on 127.0.0.1.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "AppState.h"
#include "CameraWorkers.h"
#include "support/FakeClock.h"
#include "support/RecordingNotifier.h"
#include "support/RecordingSink.h"

using namespace cx;
using namespace std::chrono_literals;
using cx::test::FakeClock;
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
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
    }

    int startServer()
    {
        const int port = 20000 + static_cast<int>(::getpid() % 20000);
        server_ = ::fork();
        if (server_ == 0) {
            const std::string p = std::to_string(port);
            ::execl("/tmp/rs/serve", "serve", p.c_str(), "/main",
                    "( videotestsrc is-live=true ! video/x-raw,width=640,height=360,framerate=15/1 ! x264enc "
                    "tune=zerolatency key-int-max=15 speed-preset=ultrafast ! rtph264pay name=pay0 pt=96 )",
                    "/sub",
                    "( videotestsrc is-live=true ! video/x-raw,width=320,height=180,framerate=15/1 ! x265enc "
                    "tune=zerolatency key-int-max=15 speed-preset=ultrafast ! rtph265pay name=pay0 pt=96 )",
                    nullptr);
            ::_exit(127);
        }
        std::this_thread::sleep_for(500ms);
        return port;
    }

    int addCamera(int port, RtspSettings settings, const std::string& login = "", const std::string& password = "")
    {
        const int slot = state.cameraTable.count;
        auto& t = state.cameraTable;
        t.allocate(slot + 1);
        t.address[static_cast<size_t>(slot)] = "127.0.0.1:" + std::to_string(port);
        t.login[static_cast<size_t>(slot)] = login;
        t.password[static_cast<size_t>(slot)] = password;
        t.type[static_cast<size_t>(slot)] = rtspType;
        t.rtsp[static_cast<size_t>(slot)] = settings;
        ++t.count;
        state.loadedRows = t.count;
        return slot;
    }

    CameraWorkers& workers()
    {
        if (!workers_) workers_ = std::make_unique<CameraWorkers>(state, sink, notifier, clock, timing);
        return *workers_;
    }

    AppState state;
    RecordingSink sink;
    RecordingNotifier notifier;
    SystemClock clock;
    WorkerTiming timing;
    std::unique_ptr<CameraWorkers> workers_;
    pid_t server_ = -1;
};

}  // namespace

TEST_F(RtspCameraTest, MainAndSubStreamsArriveInOrder)
{
    const int port = startServer();
    const int slot = addCamera(port, {"/main", "/sub", false});
    state.settings.monitorEnabled[0] = 1;
    workers().ConnectAllCameras();
    const auto main = sink.waitPackets(slot, RtspRole::Main, 30);
    const auto sub = sink.waitPackets(slot, RtspRole::Sub, 30);
    ASSERT_GE(main.size(), 30u);
    ASSERT_GE(sub.size(), 30u);
    for (size_t k = 1; k < main.size(); ++k) EXPECT_GT(main[k].pts, main[k - 1].pts) << k;
    EXPECT_TRUE(sub.back().subLive);
    EXPECT_TRUE(waitUntil([&] { return workers().slotState(slot) == SlotState::Live; }));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(workers().stopAll(2000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
}

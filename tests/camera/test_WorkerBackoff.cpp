// The workers' back-off between connection attempts, on a clock whose waits
// are instant and recorded, against the simulator on 127.0.0.1.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "AppState.h"
#include "CameraSimulator.h"
#include "CameraWorkers.h"
#include "RequestPaths.h"
#include "support/FakeClock.h"
#include "support/RecordingNotifier.h"
#include "support/RecordingSink.h"
#include "support/RefusingPort.h"
#include "support/SteppingClock.h"

using namespace cx;
using namespace std::chrono_literals;
using cx::sim::CameraConfig;
using cx::sim::CameraKind;
using cx::sim::CameraSimulator;
using cx::sim::Fault;
using cx::test::RefusingPort;
using cx::test::SteppingClock;

namespace {

struct BackoffCase {
    const char* name;
    CameraKind kind;
    CameraType type;
    const char* path;
};

void PrintTo(const BackoffCase& c, std::ostream* out) { *out << c.name; }

class WorkerBackoff : public ::testing::TestWithParam<BackoffCase> {};

}  // namespace

// A camera that is down is asked again after 1 s, then twice as long each
// time up to 30 s, never longer. Once it delivers frames and drops again,
// the next wait is 1 s: a camera that drops now and then is not left dark.
TEST_P(WorkerBackoff, DoublesUpToTheMaximumAndStartsOverAfterFrames)
{
    const BackoffCase& c = GetParam();
    BuildRequestPaths();
    WorkerTiming timing;
    timing.backoffStartMs = 1000;
    timing.backoffMaxMs = 30000;
    timing.http.connectRetries = 0;
    timing.http.connectTimeoutMs = 1000;
    timing.http.readTimeoutMs = 1000;
    timing.protocol.connectTimeoutMs = 1000;
    timing.protocol.readTimeoutMs = 1000;
    const std::vector<int64_t> refusedWaits = {1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000};

    AppState state;
    test::RecordingSink sink;
    test::RecordingNotifier notifier;
    SteppingClock clock(refusedWaits.size() - 1);
    CameraSimulator simulator;
    RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    auto& table = state.cameraTable;
    table.address.push_back("127.0.0.1:" + std::to_string(refusing.port()));
    table.login.push_back("");
    table.password.push_back("");
    table.type.push_back(c.type);
    table.flipHorizontal.push_back(0);
    table.flipVertical.push_back(0);
    table.count = 1;
    state.loadedRows = 1;

    CameraWorkers workers(state, sink, notifier, clock, timing);
    workers.StartCamera(0);
    const auto whileDown = clock.waitsOnceThereAre(refusedWaits.size());
    ASSERT_EQ(whileDown, refusedWaits);
    EXPECT_TRUE(sink.frames(0).empty());

    // The camera comes up during the last long wait; it sends three frames
    // per connection and then drops the connection in the fourth.
    refusing.release();
    CameraConfig config;
    config.kind = c.kind;
    config.port = refusing.port();
    config.path = c.path;
    config.fault = Fault::CloseMidFrame;
    config.faultAfter = 3;
    ASSERT_EQ(simulator.add(config), refusing.port());
    clock.release();

    const auto waits = clock.waitsOnceThereAre(refusedWaits.size() + 1);
    ASSERT_GT(waits.size(), refusedWaits.size());
    EXPECT_GE(sink.frames(0).size(), 3u);
    EXPECT_EQ(waits[refusedWaits.size()], 1000) << "the wait after frames had flowed again";
    for (const int64_t w : waits) EXPECT_LE(w, 30000);

    EXPECT_TRUE(workers.stopAll(1000ms));
    simulator.stop();
}

INSTANTIATE_TEST_SUITE_P(Workers, WorkerBackoff,
                         ::testing::Values(BackoffCase{"Stream", CameraKind::Stream, 101,
                                                       "/axis-cgi/mjpg/video.cgi?showlength=1"},
                                           BackoffCase{"Protocol", CameraKind::Protocol, 0, "/"}),
                         [](const ::testing::TestParamInfo<BackoffCase>& info) { return info.param.name; });

// Workers and clients against the camera simulator on 127.0.0.1.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>

#include "AppState.h"
#include "AudioReader.h"
#include "AudioSession.h"
#include "CameraSimulator.h"
#include "CameraWorkers.h"
#include "HttpImageClient.h"
#include "RequestPaths.h"
#include "support/FakeClock.h"
#include "support/RecordingNotifier.h"
#include "support/RecordingSink.h"

using namespace cx;
using namespace std::chrono_literals;
using cx::sim::CameraConfig;
using cx::sim::CameraKind;
using cx::sim::CameraSimulator;
using cx::sim::Fault;
using cx::test::FakeClock;
using cx::test::RecordingNotifier;
using cx::test::RecordingSink;

namespace {

class AcquisitionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildRequestPaths();
        timing.backoffStartMs = 100;
        timing.backoffMaxMs = 400;
        timing.http.readTimeoutMs = 1000;
        timing.http.connectTimeoutMs = 1000;
        timing.http.connectBackoffMs = 100;
        timing.protocol.readTimeoutMs = 1000;
        timing.protocol.connectTimeoutMs = 1000;
    }

    // Configures the next slot for a simulated camera; returns the slot.
    int addCamera(CameraConfig config, CameraType type, const std::string& login = "",
                  const std::string& password = "")
    {
        int port = 0;
        if (config.kind == CameraKind::Protocol && config.port == 0) {
            // Binary-protocol addresses carry a four-digit port.
            static int next = 7000 + static_cast<int>(::getpid() % 2000);
            for (int tries = 0; tries < 200 && port == 0; ++tries) {
                config.port = next++;
                if (next > 9999) next = 1100;
                port = simulator.add(config);
            }
        } else {
            port = simulator.add(config);
        }
        EXPECT_NE(port, 0);
        const int slot = state.cameraTable.count;
        auto& t = state.cameraTable;
        t.address.push_back("127.0.0.1:" + std::to_string(port));
        t.login.push_back(login);
        t.password.push_back(password);
        t.type.push_back(type);
        t.flipHorizontal.push_back(0);
        t.flipVertical.push_back(0);
        ++t.count;
        state.loadedRows = t.count;
        return slot;
    }

    CameraWorkers& workers()
    {
        if (!workers_) workers_ = std::make_unique<CameraWorkers>(state, sink, notifier, clock, timing);
        return *workers_;
    }

    void TearDown() override
    {
        if (workers_) {
            EXPECT_TRUE(workers_->stopAll(1000ms));
        }
        simulator.stop();
    }

    static void expectConsecutive(const std::vector<RecordingSink::Frame>& frames)
    {
        ASSERT_FALSE(frames.empty());
        for (size_t k = 0; k < frames.size(); ++k) {
            ASSERT_TRUE(frames[k].number.has_value()) << k;
            EXPECT_TRUE(frames[k].jpegStart) << k;
            if (k > 0) {
                EXPECT_EQ(*frames[k].number, *frames[k - 1].number + 1) << k;
            }
        }
    }

    AppState state;
    RecordingSink sink;
    RecordingNotifier notifier;
    FakeClock clock;
    CameraSimulator simulator;
    WorkerTiming timing;
    std::unique_ptr<CameraWorkers> workers_;
};

// Polls `done` for at most ten seconds.
bool waitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

CameraConfig stream(int before, int after, const std::string& path = "/axis-cgi/mjpg/video.cgi?showlength=1")
{
    CameraConfig c;
    c.kind = CameraKind::Stream;
    c.path = path;
    c.linesBefore = before;
    c.linesAfter = after;
    c.fps = 200;
    return c;
}

}  // namespace

TEST_F(AcquisitionTest, StreamFramingsDeliverEveryFrame)
{
    // Code 101: two lines before, one after; code 1: two and two; code 500: four and none.
    const int a = addCamera(stream(2, 1), 101);
    const int b = addCamera(stream(2, 2), 1);
    const int c = addCamera(stream(4, 0, "/cgi-bin/video.jpg?cam=1"), 500);
    workers().ConnectAllCameras();
    for (int slot : {a, b, c}) {
        const auto frames = sink.waitFrames(slot, 8);
        ASSERT_GE(frames.size(), 8u) << slot;
        expectConsecutive(frames);
        EXPECT_EQ(*frames.front().number, 0u) << slot;
    }
    EXPECT_EQ(simulator.connections(0), 1u);
    EXPECT_GE(state.framesReceived[static_cast<size_t>(a)].load(), 8);
    EXPECT_EQ(workers().slotState(a), SlotState::Live);
}

TEST_F(AcquisitionTest, SnapshotCameras)
{
    CameraConfig withLength;
    withLength.kind = CameraKind::Snapshot;
    withLength.path = "/netcam.jpg";  // its configured path has no leading slash
    CameraConfig noLength = withLength;
    noLength.kind = CameraKind::SnapshotNoLength;
    noLength.path = "/image.jpg";
    CameraConfig fixed = withLength;  // code 800 reads 57344 bytes whatever is announced
    fixed.path = "/__live.jpg?&&&";
    const int a = addCamera(withLength, 200);
    const int b = addCamera(noLength, 308);
    const int c = addCamera(fixed, 800);
    workers().ConnectAllCameras();
    for (int slot : {a, b, c}) {
        const auto frames = sink.waitFrames(slot, 4);
        ASSERT_GE(frames.size(), 4u) << slot;
        expectConsecutive(frames);
    }
    // Each snapshot frame is one request and one connection.
    EXPECT_GE(simulator.connections(0), 4u);
    // The body is shorter than 57344 bytes: the shorter count is kept.
    EXPECT_LT(sink.frames(c).front().size, 57344u);
    EXPECT_EQ(static_cast<size_t>(state.imageSize[static_cast<size_t>(c)].load()) < 57344u, true);
}

TEST_F(AcquisitionTest, AuthenticationRedirectsAndStatuses)
{
    CameraConfig basic;
    basic.kind = CameraKind::Snapshot;
    basic.path = "/image.jpg";
    basic.auth = sim::Auth::Basic;
    basic.user = "admin";
    basic.password = "s3cret";
    CameraConfig digest = basic;
    digest.auth = sim::Auth::Digest;
    CameraConfig redirect = basic;
    redirect.auth = sim::Auth::None;
    redirect.redirect = 302;
    CameraConfig redirectNowhere = redirect;
    redirectNowhere.redirectLocation = false;

    const int ok = addCamera(basic, 308, "admin", "s3cret");
    const int wrong = addCamera(basic, 308, "admin", "nope");
    const int dig = addCamera(digest, 308, "admin", "s3cret");
    const int moved = addCamera(redirect, 308);
    const int nowhere = addCamera(redirectNowhere, 308);

    HttpImageClient client(state, sink, timing.http);
    auto load = [&](int slot, const std::string& path = "/image.jpg") {
        const auto hp = state.cameraTable.address[static_cast<size_t>(slot)];
        const auto colon = hp.find(':');
        return client.LoadPictureData(hp.substr(0, colon), std::stoi(hp.substr(colon + 1)), path, slot, 308);
    };
    LoadResult r = load(ok);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.frames, 1);
    r = load(wrong);
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(r.frames, 0);
    r = load(dig);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.frames, 1);
    r = load(moved);  // one more request, no frame: the status of the redirected answer
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.frames, 0);
    r = load(nowhere);
    EXPECT_EQ(r.status, 0);
    r = load(ok, "/other.jpg");
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.frames, 0);
    EXPECT_EQ(sink.frames(ok).size(), 1u);
    EXPECT_EQ(sink.frames(dig).size(), 1u);
}

TEST_F(AcquisitionTest, SnapshotAnnouncingAnAbsurdLengthIsDroppedWithoutReservingIt)
{
    // 10^15 bytes announced, with nothing or a normal picture behind it:
    // nothing of that size is allocated, the picture is dropped, the next
    // request gets a frame again.
    const Fault faults[] = {Fault::HugeLength, Fault::HugeLengthWithFrame};
    for (const Fault fault : faults) {
        CameraConfig config;
        config.kind = CameraKind::Snapshot;
        config.path = "/image.jpg";
        config.fault = fault;
        config.faultAfter = 0;
        config.faultCount = 1;
        const int slot = addCamera(config, 308);
        const std::string& address = state.cameraTable.address[static_cast<size_t>(slot)];
        const int port = std::stoi(address.substr(address.find(':') + 1));
        HttpImageClient client(state, sink, timing.http);
        const LoadResult first = client.LoadPictureData("127.0.0.1", port, config.path, slot, 308);
        EXPECT_EQ(first.frames, 0) << static_cast<int>(fault);
        EXPECT_EQ(first.end, LoadEnd::Failed) << static_cast<int>(fault);
        const LoadResult second = client.LoadPictureData("127.0.0.1", port, config.path, slot, 308);
        EXPECT_EQ(second.frames, 1) << static_cast<int>(fault);
    }

    // The same through a worker: frames go on after two such answers.
    CameraConfig config;
    config.kind = CameraKind::Snapshot;
    config.path = "/image.jpg";
    config.fault = Fault::HugeLengthWithFrame;
    config.faultAfter = 1;
    config.faultCount = 2;
    const int slot = addCamera(config, 308);
    workers().StartCamera(slot);
    const auto frames = sink.waitFrames(slot, 3);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].number, 0u);
    EXPECT_EQ(frames[1].number, 3u);  // 1 and 2 announced the absurd length
}

TEST_F(AcquisitionTest, StreamFaultsSkipOrReconnect)
{
    struct Case {
        Fault fault;
        bool reconnects;
    };
    const Case cases[] = {
        {Fault::LengthZero, false},         {Fault::LengthWithoutBlank, false}, {Fault::OversizedLength, false},
        {Fault::Garbage, false},            {Fault::CloseMidFrame, true},       {Fault::EndStream, true},
        {Fault::StallMidFrame, true},       {Fault::StallAfterHeaders, true},
    };
    std::vector<int> slots;
    for (const auto& c : cases) {
        CameraConfig config = stream(2, 1);
        config.fault = c.fault;
        config.faultAfter = 3;
        config.faultCount = 2;
        slots.push_back(addCamera(config, 101));
    }
    workers().ConnectAllCameras();
    for (size_t k = 0; k < std::size(cases); ++k) {
        // Frames after the fault arrive: on the same connection, or after a reconnect.
        const auto frames = sink.waitFrames(slots[k], 10, 15s);
        ASSERT_GE(frames.size(), 10u) << "case " << k;
        size_t pictures = 0;
        for (const auto& f : frames) pictures += f.jpegStart && f.number.has_value() ? 1 : 0;
        // Random bytes can read as a length line now and then: what follows
        // is handed on as the camera's frame, not a picture. Nothing else
        // makes a frame that is no picture.
        if (cases[k].fault == Fault::Garbage)
            EXPECT_GE(pictures, 8u) << "case " << k;
        else
            EXPECT_EQ(pictures, frames.size()) << "case " << k;
        if (cases[k].reconnects) {
            EXPECT_GE(simulator.connections(k), 2u) << "case " << k;
        } else {
            EXPECT_EQ(simulator.connections(k), 1u) << "case " << k;
        }
    }
}

TEST_F(AcquisitionTest, StopAllEndsEveryWorkerEvenWhenStalled)
{
    CameraConfig stalled = stream(2, 1);
    stalled.fault = Fault::StallAfterHeaders;
    stalled.faultAfter = 0;
    stalled.faultCount = 1000000;
    CameraConfig midFrame = stream(2, 1);
    midFrame.fault = Fault::StallMidFrame;
    midFrame.faultAfter = 1;
    midFrame.faultCount = 1000000;
    CameraConfig protocol;
    protocol.kind = CameraKind::Protocol;
    protocol.fault = Fault::StallMidFrame;
    protocol.faultAfter = 1;
    protocol.faultCount = 1000000;
    timing.http.readTimeoutMs = 60000;  // nothing but the stop request may end these waits
    timing.protocol.readTimeoutMs = 60000;
    addCamera(stalled, 101);
    const int b = addCamera(midFrame, 101);
    const int c = addCamera(protocol, 0);
    workers().ConnectAllCameras();
    sink.waitFrames(b, 1);
    sink.waitFrames(c, 1);
    std::this_thread::sleep_for(100ms);  // let them get stuck
    EXPECT_TRUE(workers().stopAll(1000ms));
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(workers().slotState(slot), SlotState::Ended);
}

TEST_F(AcquisitionTest, OneWorkerPerSlotAndMonitorOff)
{
    const int slot = addCamera(stream(2, 1), 101);
    workers().StartCamera(slot);
    workers().StartCamera(slot);  // the worker runs: nothing happens
    sink.waitFrames(slot, 5);
    EXPECT_EQ(simulator.connections(0), 1u);

    state.settings.monitorEnabled[static_cast<size_t>(slot)] = 0;  // as the engine does first
    workers().viewOff(slot);
    EXPECT_TRUE(sink.waitBlack(slot));
    EXPECT_TRUE(waitUntil([&] { return workers().slotState(slot) == SlotState::Idle; }));
    // While the view is off, starts (a reload, a restart) leave it disconnected.
    workers().StartCamera(slot);
    workers().restartCamera(slot);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(workers().slotState(slot), SlotState::Idle);
    EXPECT_EQ(simulator.connections(0), 1u);

    // Switched on again: a new connection.
    state.settings.monitorEnabled[static_cast<size_t>(slot)] = 1;
    const size_t before = sink.frames(slot).size();
    workers().StartCamera(slot);
    sink.waitFrames(slot, before + 3);
    EXPECT_EQ(simulator.connections(0), 2u);
}

TEST_F(AcquisitionTest, ASnapshotCameraRecordsWithItsViewOff)
{
    CameraConfig snapshot;
    snapshot.kind = CameraKind::Snapshot;
    snapshot.path = "/netcam.jpg";
    const int slot = addCamera(snapshot, 200);
    state.settings.monitorEnabled[static_cast<size_t>(slot)] = 0;
    workers().StartCamera(slot);
    EXPECT_GE(sink.waitFrames(slot, 3).size(), 3u);
    workers().viewOff(slot);
    workers().restartCamera(slot);
    workers().viewOff(slot);  // while the restart lets go: changes nothing
    const size_t before = sink.frames(slot).size();
    EXPECT_GE(sink.waitFrames(slot, before + 3).size(), before + 3);
    EXPECT_TRUE(workers().running(slot));
}

TEST_F(AcquisitionTest, CommandsThatComeWhileAConnectionIsLetGoAreNeverLost)
{
    // Each row: commands given at once to a live camera, whether it runs
    // afterwards, and whether it connected again (-1: it may have, when the
    // first command was carried out before the second came).
    struct Row {
        std::vector<SlotInput> commands;
        bool runs;
        int reconnects;
    };
    const std::vector<Row> rows = {
        {{SlotInput::Restart}, true, 1},
        {{SlotInput::Stop, SlotInput::Start}, true, 1},  // the start is not dropped while stopping
        {{SlotInput::Restart, SlotInput::Stop}, false, -1},
        {{SlotInput::Stop, SlotInput::Start, SlotInput::Start}, true, 1},
        {{SlotInput::Start}, true, 0},  // never a second connection
        {{SlotInput::Stop}, false, 0},
    };
    CameraConfig protocol;
    protocol.kind = CameraKind::Protocol;
    protocol.fps = 100;
    const int streamSlot = addCamera(stream(2, 1), 101);
    const int protocolSlot = addCamera(protocol, 0);
    for (const int slot : {streamSlot, protocolSlot}) {
        for (size_t r = 0; r < rows.size(); ++r) {
            SCOPED_TRACE(::testing::Message() << "slot " << slot << " row " << r);
            workers().StartCamera(slot);
            sink.waitFrames(slot, sink.frames(slot).size() + 3);
            const uint64_t connections = simulator.connections(static_cast<size_t>(slot));
            for (SlotInput c : rows[r].commands) {
                if (c == SlotInput::Start) workers().StartCamera(slot);
                if (c == SlotInput::Stop) workers().stopCamera(slot);
                if (c == SlotInput::Restart) workers().restartCamera(slot);
            }
            if (rows[r].runs) {
                const size_t before = sink.frames(slot).size();
                EXPECT_GE(sink.waitFrames(slot, before + 3).size(), before + 3);
                EXPECT_TRUE(workers().running(slot));
            } else {
                EXPECT_TRUE(waitUntil([&] { return workers().slotState(slot) == SlotState::Idle; }));
            }
            const uint64_t after = simulator.connections(static_cast<size_t>(slot));
            if (rows[r].reconnects == 1) {
                EXPECT_GT(after, connections);
            } else if (rows[r].reconnects == 0) {
                EXPECT_EQ(after, connections);
            } else {
                EXPECT_LE(after, connections + 1);
            }
        }
    }
}

TEST_F(AcquisitionTest, ProtocolCameras)
{
    CameraConfig good;
    good.kind = CameraKind::Protocol;
    good.user = "operator";
    good.password = "pw";
    good.fps = 200;
    CameraConfig code131 = good;
    code131.fault = Fault::HeaderCode131;
    code131.faultAfter = 2;
    code131.faultCount = 3;
    CameraConfig dropped = good;
    dropped.fault = Fault::CloseMidFrame;
    dropped.faultAfter = 2;
    CameraConfig busy = good;
    busy.greeting = 120;
    const int a = addCamera(good, 0, "operator", "pw");
    const int b = addCamera(code131, 0, "operator", "pw");
    const int c = addCamera(dropped, 0, "operator", "pw");
    const int d = addCamera(busy, 0, "operator", "pw");
    const int e = addCamera(good, 0, "operator", "wrong");
    workers().ConnectAllCameras();

    expectConsecutive(sink.waitFrames(a, 10));
    // Headers with code 131 are answered with a new request; frames go on.
    const auto afterIgnored = sink.waitFrames(b, 6);
    ASSERT_GE(afterIgnored.size(), 6u);
    expectConsecutive(afterIgnored);
    EXPECT_EQ(simulator.connections(1), 1u);
    // A camera that closed mid-picture is connected again; the torn picture is dropped.
    const auto resumed = sink.waitFrames(c, 5);
    ASSERT_GE(resumed.size(), 5u);
    EXPECT_GE(simulator.connections(2), 2u);
    for (const auto& f : resumed) EXPECT_TRUE(f.jpegStart);

    EXPECT_TRUE(waitUntil([&] { return !workers().running(d) && !workers().running(e); }));
    const auto texts = notifier.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "ERROR: Exceeds maximum client number"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Error: User Authentication failed"), texts.end());
    EXPECT_TRUE(sink.frames(d).empty());
    EXPECT_TRUE(sink.frames(e).empty());
}

TEST_F(AcquisitionTest, SilentProtocolCameraIsRetriedQuietly)
{
    CameraConfig silent;
    silent.kind = CameraKind::Protocol;
    silent.fault = Fault::StallAfterHeaders;  // accepts the connection, never greets
    silent.faultAfter = 0;
    timing.protocol.readTimeoutMs = 300;
    const int slot = addCamera(silent, 0);
    workers().StartCamera(slot);
    // Not a wrong answer: no message, and the camera is asked again.
    EXPECT_TRUE(waitUntil([&] { return simulator.connections(0) >= 2; }));
    EXPECT_TRUE(workers().running(slot));
    // Stopped while it waits for the greeting: it ends without a message.
    EXPECT_TRUE(workers().stopAll(1000ms));
    EXPECT_TRUE(notifier.texts().empty());
}

TEST_F(AcquisitionTest, ProtocolStopAndRestartRequests)
{
    CameraConfig good;
    good.kind = CameraKind::Protocol;
    good.fps = 100;
    const int slot = addCamera(good, 0);
    workers().StartCamera(slot);
    sink.waitFrames(slot, 3);
    workers().restartCamera(slot);
    const size_t before = sink.frames(slot).size();
    sink.waitFrames(slot, before + 3);
    EXPECT_EQ(simulator.connections(0), 2u);  // closed, connected and logged in again

    workers().stopCamera(slot);  // without a restart the slot rests
    EXPECT_TRUE(waitUntil([&] { return workers().slotState(slot) == SlotState::Idle; }));
    EXPECT_EQ(state.protocolSocket[static_cast<size_t>(slot)].load(), -1);
}

TEST_F(AcquisitionTest, WorkersEndWithTheirMessageWhenThePictureDecoderIsMissing)
{
    CameraConfig protocol;
    protocol.kind = CameraKind::Protocol;
    protocol.fps = 100;
    CameraConfig snapshot;
    snapshot.kind = CameraKind::Snapshot;
    snapshot.path = "/netcam.jpg";
    const int streamSlot = addCamera(stream(2, 1), 101);
    const int snapshotSlot = addCamera(snapshot, 200);
    const int protocolSlot = addCamera(protocol, 0);
    sink.setDecoderMissing(true);
    workers().ConnectAllCameras();
    EXPECT_TRUE(waitUntil([&] {
        return !workers().running(streamSlot) && !workers().running(snapshotSlot) && !workers().running(protocolSlot);
    }));
    // One frame each reached the decoder; nobody asked again after it.
    for (int slot : {streamSlot, snapshotSlot, protocolSlot}) EXPECT_EQ(sink.frames(slot).size(), 1u) << slot;
    auto texts = notifier.texts();
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"IPicture interface is not supported\t", "interface is not supported\t",
                                               "interface is not supported\t"}));

    // A slot that ended by itself starts again as any idle slot.
    sink.setDecoderMissing(false);
    for (int slot : {streamSlot, protocolSlot}) {
        workers().StartCamera(slot);
        EXPECT_GE(sink.waitFrames(slot, 4).size(), 4u) << slot;
        EXPECT_TRUE(workers().running(slot)) << slot;
        workers().stopCamera(slot);
        EXPECT_TRUE(waitUntil([&] { return workers().slotState(slot) == SlotState::Idle; })) << slot;
    }
}

// A frame sink that holds the worker inside the frame path until released.
class HoldingSink final : public FrameSink {
public:
    HandOffResult handOff(int, std::span<const uint8_t>) override
    {
        entered = true;
        while (!released) std::this_thread::sleep_for(1ms);
        return HandOffResult::Done;
    }
    HandOffResult handOffPacket(int, const StreamPacket&) override { return HandOffResult::Done; }
    void paintBlack(int) override {}
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
};

TEST_F(AcquisitionTest, StopAllKeepsItsTimeOutWhileAWorkerCannotEnd)
{
    HoldingSink holding;
    addCamera(stream(2, 1), 101);
    CameraWorkers workers(state, holding, notifier, clock, timing);
    workers.ConnectAllCameras();
    ASSERT_TRUE(waitUntil([&] { return holding.entered.load(); }));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(workers.stopAll(300ms));  // no event loop runs here, and none is needed
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 1500ms);
    EXPECT_EQ(workers.slotState(0), SlotState::Stopping);
    holding.released = true;  // now it can see the stop
    EXPECT_TRUE(workers.stopAll(2000ms));
    EXPECT_FALSE(workers.running(0));
}

TEST_F(AcquisitionTest, AudioStream)
{
    CameraConfig audio;
    audio.kind = CameraKind::Audio;
    audio.path = "/axis-cgi/audio/receive.cgi?httptype=singlepart";
    CameraConfig other = audio;
    other.path = "/";  // models without an audio path ask for the empty path
    CameraConfig locked = audio;
    locked.auth = sim::Auth::Basic;
    locked.user = "a";
    locked.password = "b";

    // The reader works on the camera's entry alone; no camera table is needed.
    const auto entry = [](int port, int32_t type) {
        return CameraEntry{"127.0.0.1:" + std::to_string(port), "a", "b", type, {}};
    };
    AudioReader reader(state.audioLock, timing.http);
    const int audioPort = simulator.add(audio);  // an AXIS 213
    reader.stopWhen = [&] { return simulator.framesSent(0) >= 5; };
    EXPECT_EQ(reader.StartAudio(entry(audioPort, 108)), 0);
    EXPECT_GE(simulator.framesSent(0), 5u);
    EXPECT_EQ(simulator.connections(0), 1u);

    // Another model: the empty path.
    const int otherPort = simulator.add(other);
    reader.stopWhen = [&] { return simulator.framesSent(1) >= 2; };
    EXPECT_EQ(reader.StartAudio(entry(otherPort, 101)), 0);
    EXPECT_GE(simulator.framesSent(1), 2u);

    // The credentials of the entry are sent; wrong ones end the reading with 401 at once.
    const int lockedPort = simulator.add(locked);
    reader.stopWhen = [&] { return simulator.framesSent(2) >= 2; };
    EXPECT_EQ(reader.StartAudio(entry(lockedPort, 108)), 0);
    EXPECT_GE(simulator.framesSent(2), 2u);
    reader.stopWhen = nullptr;
    CameraEntry wrong = entry(lockedPort, 108);
    wrong.password = "c";
    EXPECT_EQ(reader.ReadAudioStream(wrong, "127.0.0.1", lockedPort, audio.path), 401);
}

TEST_F(AcquisitionTest, AudioSessionReadsOnItsOwnThreadOneAtATime)
{
    CameraConfig audio;
    audio.kind = CameraKind::Audio;
    audio.path = "/axis-cgi/audio/receive.cgi?httptype=singlepart";
    const int port = simulator.add(audio);
    const CameraEntry camera{"127.0.0.1:" + std::to_string(port), "", "", 108, {}};

    AudioSession session(state.audioLock, timing.http);
    std::atomic<bool> broken{false};
    ASSERT_TRUE(session.start(camera, [&] { return broken.load(); }));
    EXPECT_TRUE(session.running());
    EXPECT_FALSE(session.start(camera));  // one reading at a time
    ASSERT_TRUE(waitUntil([&] { return simulator.framesSent(0) >= 5; }));
    EXPECT_EQ(simulator.connections(0), 1u);

    // Its own stop predicate ends it, and it can start again afterwards.
    broken = true;
    EXPECT_TRUE(session.waitUntil(std::chrono::steady_clock::now() + 2s));
    EXPECT_FALSE(session.running());
    ASSERT_TRUE(session.start(camera));
    ASSERT_TRUE(waitUntil([&] { return simulator.connections(0) == 2; }));
    session.stop();
    EXPECT_TRUE(session.waitUntil(std::chrono::steady_clock::now() + 2s));
    EXPECT_FALSE(session.running());

    // A camera that refuses at once: the reading ends by itself.
    simulator.stop();
    ASSERT_TRUE(session.start(camera));
    EXPECT_TRUE(session.waitUntil(std::chrono::steady_clock::now() + 10s));
}

// Each frame's time of day and the playback pace come from the times the
// frames were received, whatever else records beside them; frames without
// a recorded time are estimated and say so.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "AppState.h"
#include "AviRecorder.h"
#include "FrameDecoder.h"
#include "FileStamp.h"
#include "FrameSource.h"
#include "FrameTimeLog.h"
#include "FrameTimesFile.h"
#include "RecordingReader.h"
#include "RecordingTime.h"
#include "RecordingTimeline.h"
#include "ReplayPlayer.h"
#include "support/FakeClock.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

// 1 March 2026 09:59:58.250 UTC (the suite runs in UTC).
constexpr int64_t startMs = 1772359198250;

std::vector<int64_t> positionsOf(const RecordingReader& reader)
{
    std::vector<int64_t> out;
    for (int k = 0; k < reader.frameCount(); ++k) out.push_back(reader.position(k));
    return out;
}

// Polls `done` for at most `ms`, delivering queued signals meanwhile.
bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    for (int i = 0; i < ms / 5 && !done(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QCoreApplication::processEvents();
    return done();
}

// Cameras recording side by side through one recorder, frame by frame in
// the order they arrive, on a simulated clock.
struct SideBySide : ::testing::Test {
    TempFolder folder;
    AppState state;
    FakeClock clock;
    RecordingNotifier notifier;
    AviRecorder recorder{state, notifier, clock};
    FrameDecoder decoder;
    sim::FrameSource source{96, 72, 8};
    std::map<int, std::vector<int64_t>> received;  // by slot: each frame's receive time

    SideBySide()
    {
        state.programFolder = folder.path();
        clock.setWallMs(startMs);
    }

    fs::path open(int slot, const std::string& name)
    {
        state.setCameraName(slot, name);
        fs::create_directories(folder.path() / "video" / name);
        EXPECT_TRUE(recorder.OpenRecording(recorder.BuildRecordingName(slot), slot));
        return state.aviFile[static_cast<size_t>(slot)]->path();
    }

    void frame(int slot, int64_t atMs)
    {
        clock.setWallMs(atMs);
        const auto jpeg = source.frame(static_cast<uint64_t>(received[slot].size()));
        std::lock_guard lock(state.recordLock[static_cast<size_t>(slot)]);
        const DecodeResult r = decoder.readSize(jpeg.data(), jpeg.size());
        recorder.WriteFrame(slot, r.width, r.height, jpeg, decoder.currentPicture());
        received[slot].push_back(atMs);
    }

    // `seconds` of every camera at its rate (frames a second, by slot),
    // interleaved as they would arrive; each camera's first frame a few ms
    // after the other's, with a little jitter.
    void run(const std::map<int, int>& rates, int seconds)
    {
        std::multimap<int64_t, int> arrivals;
        for (const auto& [slot, fps] : rates)
            for (int n = 0; n < fps * seconds; ++n)
                arrivals.emplace(startMs + slot * 7 + n * 1000 / fps + (n % 3) * 4, slot);
        for (const auto& [at, slot] : arrivals) frame(slot, at);
    }
};

TEST_F(SideBySide, EveryFrameShowsTheTimeItWasReceivedAndPlaysAtItsPace)
{
    const std::map<int, int> rates{{0, 5}, {1, 15}, {2, 30}};
    std::map<int, fs::path> files;
    for (const auto& [slot, fps] : rates) files[slot] = open(slot, "Cam" + std::to_string(fps));
    run(rates, 10);
    for (const auto& [slot, fps] : rates) recorder.CloseRecording(slot);

    for (const auto& [slot, fps] : rates) {
        SCOPED_TRACE(fps);
        RecordingReader reader;
        ASSERT_TRUE(reader.open(files[slot]));
        const auto& times = received[slot];
        ASSERT_EQ(reader.frameCount(), static_cast<int>(times.size()));
        const RecordingTimeline timeline = RecordingTimeline::load(files[slot], positionsOf(reader));
        ASSERT_TRUE(timeline.hasFrameTimes());
        // The positions run with all three cameras' frames: the estimate
        // from them would be hours off for the slow camera.
        const auto start = parseRecordingName(files[slot].filename().string());
        ASSERT_TRUE(start);
        EXPECT_GT(recordingStartMs(*start) + reader.position(reader.frameCount() - 1) * 1000 / recordingRate -
                      times.back(),
                  5000);
        int64_t worst = 0;
        for (int k = 0; k < reader.frameCount(); ++k) {
            const int64_t truth = times[static_cast<size_t>(k)];
            EXPECT_FALSE(timeline.estimated(k)) << k;
            worst = std::max<int64_t>(worst, std::llabs(timeline.wallMs(k) - truth));
            EXPECT_EQ(localTimeText(timeline.wallMs(k)), localTimeText(truth)) << k;
        }
        EXPECT_LT(worst, 1000);
        EXPECT_EQ(timeline.durationMs(), times.back() - times.front());
    }

    // Played through the player on a simulated clock: the recording's span
    // takes as long as it did, and the speeds scale it.
    FakeClock playClock;
    playClock.frequency = 1'000'000;  // microseconds: the pace is measured, not rounded
    ReplayPlayer player(playClock);
    for (const auto& [slot, fps] : rates) {
        const auto& times = received[slot];
        const double span = static_cast<double>(times.back() - times.front()) / 1000.0;
        int frames = -1, lastShown = -1;
        const auto opened = QObject::connect(&player, &ReplayPlayer::opened,
                                             [&frames](int n, qint64, bool recorded) {
                                                 EXPECT_TRUE(recorded);
                                                 frames = n;
                                             });
        const auto shown = QObject::connect(&player, &ReplayPlayer::frameShown,
                                            [&lastShown](const ShownFrame& f, const QImage&) { lastShown = f.index; });
        player.open(files[slot]);
        ASSERT_TRUE(waitFor([&] { return frames > 0 && lastShown == 0; }));
        for (const double speed : {1.0, 4.0, 0.25}) {
            SCOPED_TRACE(testing::Message() << fps << " fps at speed " << speed);
            player.seek(0);
            ASSERT_TRUE(waitFor([&] { return lastShown == 0; }));
            const int64_t before = playClock.ticks;
            player.play(1, speed);
            ASSERT_TRUE(waitFor([&] { return lastShown == frames - 1; }));
            const double took = static_cast<double>(playClock.ticks - before) / 1e6;
            EXPECT_NEAR(took, span / speed, 0.05 * span / speed);
            if (speed == 1.0) std::printf("%d fps: %.3f s of recording played in %.3f s\n", fps, span, took);
        }
        QObject::disconnect(opened);
        QObject::disconnect(shown);
    }
}

// Killed in the first batch (only the first frame's time is on disk) and
// after several.
class KilledRecorder : public SideBySide, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(KilledRecorder, LeavesFrameTimesThatReplayReads)
{
    const uint32_t killAfter = GetParam();
    int reports[2];
    ASSERT_EQ(::pipe(reports), 0);
    const fs::path path = folder.path() / "video" / "Door" / (dateTimeStamp(clock.now()) + ".avi");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // 15 frames a second of simulated time until killed, telling the
        // parent after each.
        ::close(reports[0]);
        open(0, "Door");
        for (uint32_t n = 1;; ++n) {
            frame(0, startMs + (n - 1) * 1000 / 15);
            if (::write(reports[1], &n, sizeof n) != sizeof n) ::_exit(1);
        }
    }
    ::close(reports[1]);
    uint32_t written = 0;
    while (written < killAfter && ::read(reports[0], &written, sizeof written) == sizeof written) {
    }
    ::kill(child, SIGKILL);
    ::close(reports[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    RecordingReader reader;
    ASSERT_TRUE(reader.open(path));
    ASSERT_GE(reader.frameCount(), static_cast<int>(killAfter));
    ASSERT_TRUE(fs::exists(frameTimesPath(path)));
    const RecordingTimeline timeline = RecordingTimeline::load(path, positionsOf(reader));
    ASSERT_TRUE(timeline.hasFrameTimes());
    int recorded = 0;
    for (int k = 0; k < reader.frameCount(); ++k) {
        const int64_t truth = startMs + k * 1000 / 15;
        EXPECT_LT(std::llabs(timeline.wallMs(k) - truth), 1000) << k;
        if (!timeline.estimated(k)) {
            EXPECT_EQ(timeline.wallMs(k), truth) << k;
            ++recorded;
        } else {
            EXPECT_GT(k, 0);  // only the tail can be missing
            EXPECT_TRUE(timeline.estimated(reader.frameCount() - 1));
        }
    }
    // At most the last second's batch is lost.
    EXPECT_GE(recorded, reader.frameCount() - 16);
}

INSTANTIATE_TEST_SUITE_P(SideBySide, KilledRecorder, ::testing::Values(8u, 100u));

TEST_F(SideBySide, RecordingWithoutFrameTimesIsEstimatedFromItsName)
{
    const fs::path path = open(0, "Door");
    run({{0, 15}}, 2);
    recorder.CloseRecording(0);
    ASSERT_TRUE(fs::remove(frameTimesPath(path)));

    RecordingReader reader;
    ASSERT_TRUE(reader.open(path));
    const RecordingTimeline timeline = RecordingTimeline::load(path, positionsOf(reader));
    EXPECT_FALSE(timeline.hasFrameTimes());
    EXPECT_TRUE(timeline.timeOfDayKnown());
    const auto start = parseRecordingName(path.filename().string());
    ASSERT_TRUE(start);
    for (int k = 0; k < reader.frameCount(); ++k) {
        EXPECT_TRUE(timeline.estimated(k));
        EXPECT_EQ(localTimeText(timeline.wallMs(k)), frameTimeText(*start, reader.position(k)));
    }
}

// The frame times file written in batches: at the first frame, then once
// a second of frame time, with the rest at the close.
TEST(FrameTimeLog, WritesAboutOnceASecondAndAllAtTheEnd)
{
    TempFolder folder;
    const fs::path recording = folder.path() / "r.avi";
    auto log = FrameTimeLog::create(recording);
    ASSERT_TRUE(log);
    for (int n = 0; n < 300; ++n) log->add(10 * n, startMs + n * 1000 / 30);  // 10 s at 30 fps
    EXPECT_GE(log->writes(), 10);
    EXPECT_LE(log->writes(), 11);
    const auto beforeClose = readFrameTimes(recording);
    ASSERT_TRUE(beforeClose);
    EXPECT_GE(beforeClose->size(), 270u);  // no more than a second behind
    log.reset();
    const auto all = readFrameTimes(recording);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 300u);
    for (size_t n = 0; n < 300; ++n) {
        EXPECT_EQ((*all)[n].position, static_cast<int64_t>(10 * n));
        EXPECT_EQ((*all)[n].wallMs, startMs + static_cast<int64_t>(n) * 1000 / 30);
    }
}

TEST(FrameTimesFile, ReadsWholeRecordsAndRefusesOtherFiles)
{
    std::vector<uint8_t> bytes(frameTimesHeadSize + 3 * frameTimeRecordSize);
    encodeFrameTimesHead(bytes.data());
    for (int n = 0; n < 3; ++n)
        encodeFrameTimeRecord({n * 10, startMs + n}, bytes.data() + frameTimesHeadSize + n * frameTimeRecordSize);
    const auto whole = decodeFrameTimes(bytes.data(), bytes.size());
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), 3u);
    EXPECT_EQ((*whole)[2].position, 20);
    EXPECT_EQ((*whole)[2].wallMs, startMs + 2);
    // Cut inside the last record, as by a crash: the whole ones remain.
    const auto cut = decodeFrameTimes(bytes.data(), bytes.size() - 5);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), 2u);
    bytes[0] = 'X';
    EXPECT_FALSE(decodeFrameTimes(bytes.data(), bytes.size()));
    EXPECT_FALSE(decodeFrameTimes(bytes.data(), 4));
}

// How frames without a recorded time are worked out.
TEST(RecordingTimeline, EstimatesWhatTheFrameTimesLack)
{
    const std::vector<int64_t> positions{0, 10, 20, 30, 40, 50};
    struct Case {
        const char* what;
        std::optional<std::vector<FrameTimeRecord>> times;
        std::vector<int64_t> wall;       // expected, ms after startMs
        std::vector<bool> estimated;
    };
    const Case cases[] = {
        {"all recorded, uneven",
         std::vector<FrameTimeRecord>{{0, startMs}, {10, startMs + 100}, {20, startMs + 150}, {30, startMs + 900},
                                      {40, startMs + 1000}, {50, startMs + 1100}},
         {0, 100, 150, 900, 1000, 1100}, {false, false, false, false, false, false}},
        {"tail lost: the last pace goes on",
         std::vector<FrameTimeRecord>{{0, startMs}, {10, startMs + 200}, {20, startMs + 400}},
         {0, 200, 400, 600, 800, 1000}, {false, false, false, true, true, true}},
        {"a gap between recorded frames: by position",
         std::vector<FrameTimeRecord>{{0, startMs}, {10, startMs + 100}, {40, startMs + 700}, {50, startMs + 800}},
         {0, 100, 300, 500, 700, 800}, {false, false, true, true, false, false}},
        {"one recorded frame, then a crash: the rest within one batch after it",
         std::vector<FrameTimeRecord>{{0, startMs}},
         {0, 200, 400, 600, 800, 1000}, {false, true, true, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RecordingTimeline t(positions, c.times, std::nullopt);
        ASSERT_EQ(t.frameCount(), 6);
        EXPECT_TRUE(t.timeOfDayKnown());
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(t.wallMs(k) - startMs, c.wall[static_cast<size_t>(k)]) << k;
            EXPECT_EQ(t.estimated(k), c.estimated[static_cast<size_t>(k)]) << k;
        }
    }

    // Neither frame times nor a name: positions only, no time of day.
    const RecordingTimeline bare(positions, std::nullopt, std::nullopt);
    EXPECT_FALSE(bare.timeOfDayKnown());
    EXPECT_EQ(bare.offsetMs(3), 2000);
}

TEST(RecordingTimeline, SeeksAndHoldsByTime)
{
    // A camera away for a minute in the middle, then the clock set back.
    const std::vector<int64_t> positions{0, 10, 20, 30, 40};
    const RecordingTimeline t(positions,
                              std::vector<FrameTimeRecord>{{0, startMs}, {10, startMs + 500}, {20, startMs + 60500},
                                                           {30, startMs + 61000}, {40, startMs + 60900}},
                              std::nullopt);
    EXPECT_EQ(t.durationMs(), 61000);
    EXPECT_EQ(t.offsetMs(4), 61000);  // never runs back
    struct Seek {
        int64_t offset;
        int frame;
    };
    for (const Seek s : {Seek{-5, 0}, Seek{0, 0}, Seek{499, 0}, Seek{500, 1}, Seek{30000, 1}, Seek{60500, 2},
                         Seek{61000, 4}, Seek{99999, 4}})
        EXPECT_EQ(t.frameAt(s.offset), s.frame) << s.offset;
    EXPECT_EQ(t.holdMs(0, 1), 500);
    EXPECT_EQ(t.holdMs(1, 2), RecordingTimeline::maxHoldMs);  // the minute away is not waited out
    EXPECT_EQ(t.holdMs(2, 1), RecordingTimeline::maxHoldMs);
    EXPECT_EQ(t.holdMs(3, 4), 100);
}

}  // namespace

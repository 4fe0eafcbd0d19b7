#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <ctime>
#include <thread>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "AppState.h"
#include "AviRecorder.h"
#include "BitmapExport.h"
#include "CameraModels.h"
#include "FrameDecoder.h"
#include "support/AviReader.h"
#include "support/FakeClock.h"
#include "support/Ffprobe.h"
#include "support/JpegFixtures.h"
#include "support/PacketSource.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

int64_t utc(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<int64_t>(::timegm(&t));
}

std::vector<uint8_t> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A program folder with a camera folder, a recorder and a few frames.
struct Recording : ::testing::Test {
    TempFolder folder;
    AppState state;
    FakeClock clock;
    RecordingNotifier notifier;
    AviRecorder recorder{state, notifier, clock};
    FrameDecoder decoder;
    std::vector<std::vector<uint8_t>> frames;

    Recording()
    {
        state.programFolder = folder.path();
        state.setCameraName(0, "Door");
        state.setCameraName(1, "Yard");
        fs::create_directories(folder.path() / "video" / "Door");
        fs::create_directories(folder.path() / "video" / "Yard");
        clock.wall = utc(2026, 3, 1, 9, 59, 58);
        for (int q : {50, 60, 70, 80, 90, 95}) frames.push_back(quadrantJpeg(64, 48, {.quality = q}));
    }

    fs::path open(int slot)
    {
        const fs::path name = recorder.BuildRecordingName(slot);
        EXPECT_TRUE(recorder.OpenRecording(name, slot));
        const auto i = static_cast<size_t>(slot);
        state.segmentStart[i] = clock.now();
        if (state.streamFile[i]) return state.streamFile[i]->path();
        return state.aviFile[i] ? state.aviFile[i]->path() : fs::path();
    }

    // The worker's part: decode (full size when the recording stores
    // pixels) and write, under the slot's recordLock.
    void write(int slot, const std::vector<uint8_t>& jpeg)
    {
        std::lock_guard lock(state.recordLock[static_cast<size_t>(slot)]);
        const QSize drawSize = recorder.wantsPixels(slot) ? QSize() : QSize(200, 150);
        const DecodeResult r = decoder.DecodeFrame(jpeg.data(), jpeg.size(), drawSize);
        recorder.WriteFrame(slot, r.width, r.height, jpeg, decoder.currentPicture());
    }
};

}  // namespace

TEST_F(Recording, NameFollowsCameraAndLocalTime)
{
    EXPECT_EQ(recorder.BuildRecordingName(0), fs::path("video/Door/Date_01_03_2026_Time_09_59_58.avi"));
    clock.wall = utc(2026, 12, 6, 15, 54, 49);
    EXPECT_EQ(recorder.BuildRecordingName(1), fs::path("video/Yard/Date_06_12_2026_Time_15_54_49.avi"));
}

struct CodecCase {
    const char* name;
    uint32_t handler;
    const char* codecName;  // as ffprobe names it
    const char* codecTag;
};

void PrintTo(const CodecCase& c, std::ostream* out) { *out << c.name; }

class RecordingCodecs : public Recording, public ::testing::WithParamInterface<CodecCase> {};

// Every codec: one key frame every 10 positions from 0, rate 15/1, read
// back by our reader and by ffprobe after the file was closed.
TEST_P(RecordingCodecs, FramesAtTenPositionSteps)
{
    state.settings.compressOptions.handler = GetParam().handler;
    const CompressOptions before = state.settings.compressOptions;
    const fs::path path = open(0);
    for (const auto& f : frames) write(0, f);
    recorder.CloseRecording(0);
    EXPECT_EQ(state.aviFile[0], nullptr);
    EXPECT_EQ(recorder.frameCounter(), 1 + static_cast<int>(frames.size()));
    EXPECT_EQ(std::memcmp(&before, &state.settings.compressOptions, sizeof before), 0) << "options are kept as stored";

    const AviFile avi = readAvi(path);
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.streamType, "vids");
    EXPECT_EQ(avi.scale, 1u);
    EXPECT_EQ(avi.rate, 15u);
    EXPECT_EQ(avi.quality, -1);
    EXPECT_EQ(avi.framePositions(), (std::vector<size_t>{0, 10, 20, 30, 40, 50}));
    EXPECT_EQ(avi.indexEntries, avi.chunks.size());

    const ProbedStream probe = ffprobe(path);
    ASSERT_TRUE(probe.ok) << path;
    EXPECT_EQ(probe.codecName, GetParam().codecName);
    EXPECT_EQ(probe.codecTag, GetParam().codecTag);
    EXPECT_EQ(probe.frameRate, "15/1");
    EXPECT_EQ(probe.packetTimes, (std::vector<long>{0, 10, 20, 30, 40, 50}));
}

// A frame is in the file on disk as soon as it was written, before the
// recording is closed: a crash loses at most the frame being written.
TEST_P(RecordingCodecs, EveryFrameIsOnDiskWhileTheFileIsOpen)
{
    state.settings.compressOptions.handler = GetParam().handler;
    const fs::path path = open(0);
    ASSERT_NE(state.aviFile[0], nullptr);
    EXPECT_TRUE(state.aviFile[0]->flushesEveryPacket());
    const bool storesCameraBytes = !state.aviFile[0]->needsPixels();
    uintmax_t before = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        write(0, frames[i]);
        const auto onDisk = readBytes(path);
        EXPECT_GT(onDisk.size(), before) << i;
        before = onDisk.size();
        if (storesCameraBytes) {
            EXPECT_NE(std::search(onDisk.begin(), onDisk.end(), frames[i].begin(), frames[i].end()), onDisk.end())
                << "frame " << i << " not yet in the file";
        }
    }
    recorder.CloseRecording(0);
}

INSTANTIATE_TEST_SUITE_P(Handlers, RecordingCodecs,
                         ::testing::Values(CodecCase{"Default", 0, "mjpeg", "MJPG"},
                                           CodecCase{"Bitmap", fourCC('D', 'I', 'B', ' '), "rawvideo", "[0][0][0][0]"},
                                           CodecCase{"Ffv1", fourCC('F', 'F', 'V', '1'), "ffv1", "FFV1"},
                                           CodecCase{"Unknown", fourCC('Q', 'Z', 'Q', 'Z'), "mjpeg", "MJPG"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Recording, DefaultCodecStoresTheCameraBytes)
{
    const fs::path path = open(0);
    for (const auto& f : frames) write(0, f);
    recorder.CloseRecording(0);
    const AviFile avi = readAvi(path);
    const auto positions = avi.framePositions();
    ASSERT_EQ(positions.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(avi.chunks[positions[i]].data, frames[i]) << i;
}

TEST_F(Recording, BitmapCodecStoresTheExportedPixels)
{
    // An odd width, so every row carries padding.
    state.settings.compressOptions.handler = fourCC('D', 'I', 'B', ' ');
    const auto jpeg = quadrantJpeg(65, 33);
    const fs::path path = open(0);
    write(0, jpeg);
    recorder.CloseRecording(0);

    const AviFile avi = readAvi(path);
    const auto header = bitmapInfoHeader(65, 33);
    ASSERT_GE(avi.format.size(), 40u);
    // Size, width, height (positive: bottom-up), planes, bits, compression.
    EXPECT_TRUE(std::equal(header.begin(), header.begin() + 20, avi.format.begin()));
    ASSERT_EQ(avi.framePositions().size(), 1u);

    FrameDecoder full;
    full.DecodeFrame(jpeg.data(), jpeg.size());
    std::vector<uint8_t> expected(bitmapImageSize(65, 33));
    SaveAsBitmap(full.currentPicture(), expected.data(), expected.size());
    EXPECT_EQ(avi.chunks[avi.framePositions()[0]].data, expected);

    // FFmpeg reads the frame back upright with the padding dropped.
    const std::string rgb = runCommand("ffmpeg -v error -nostdin -i '" + path.string() +
                                       "' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    ASSERT_EQ(rgb.size(), 65u * 33u * 3u);
    int wrong = 0;
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 65; ++x) {
            const QRgb p = full.currentPicture().pixels.pixel(x, y);
            const auto* q = reinterpret_cast<const uint8_t*>(&rgb[(static_cast<size_t>(y) * 65 + static_cast<size_t>(x)) * 3]);
            if (q[0] != qRed(p) || q[1] != qGreen(p) || q[2] != qBlue(p)) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Recording, FrameCounterIsSharedAndPositionsAreRelativeToEachFile)
{
    write(0, frames[0]);  // no recording open: nothing happens, no counter step
    EXPECT_EQ(recorder.frameCounter(), 1);

    const fs::path door = open(0);
    write(0, frames[0]);
    write(0, frames[1]);
    const fs::path yard = open(1);  // opened late
    for (int i = 0; i < 3; ++i) {
        write(0, frames[2]);
        write(1, frames[3]);
    }
    recorder.CloseRecording(0);
    recorder.CloseRecording(1);
    EXPECT_EQ(recorder.frameCounter(), 9);
    EXPECT_EQ(readAvi(door).framePositions(), (std::vector<size_t>{0, 10, 20, 40, 60}));
    EXPECT_EQ(readAvi(yard).framePositions(), (std::vector<size_t>{0, 20, 40}));
    EXPECT_EQ(ffprobe(yard).packetTimes, (std::vector<long>{0, 20, 40}));
}

struct RollOverCase {
    int scheduleRecord;
    int segmentMinutes;
    int secondsBeforeLastFrame;  // after the segment start
    int expectedFiles;
};

void PrintTo(const RollOverCase& c, std::ostream* out)
{
    *out << "scheduleRecord " << c.scheduleRecord << ", " << c.segmentMinutes << " min, last frame after "
         << c.secondsBeforeLastFrame << " s";
}

class RollOver : public Recording, public ::testing::WithParamInterface<RollOverCase> {};

TEST_P(RollOver, OnlyScheduledCamerasCutSegments)
{
    const RollOverCase c = GetParam();
    state.settings.scheduleRecord[0] = c.scheduleRecord;
    state.settings.segmentMinutes = c.segmentMinutes;
    const int64_t start = clock.now();
    open(0);
    write(0, frames[0]);
    clock.wall = start + c.secondsBeforeLastFrame - 1;
    write(0, frames[1]);  // one second short: same file
    clock.wall = start + c.secondsBeforeLastFrame;
    write(0, frames[2]);  // still written into the first file, then the cut
    write(0, frames[3]);
    recorder.CloseRecording(0);

    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder.path() / "video" / "Door"))
        if (entry.path().extension() == ".avi") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(static_cast<int>(files.size()), c.expectedFiles);
    EXPECT_EQ(files[0].filename(), "Date_01_03_2026_Time_09_59_58.avi");
    if (c.expectedFiles == 1) {
        EXPECT_EQ(readAvi(files[0]).framePositions().size(), 4u);
        return;
    }
    EXPECT_EQ(readAvi(files[0]).framePositions().size(), 3u);
    EXPECT_EQ(readAvi(files[1]).framePositions(), (std::vector<size_t>{0}));
    EXPECT_EQ(ffprobe(files[1]).packets, 1);
    EXPECT_EQ(state.segmentStart[0].load(), start + c.secondsBeforeLastFrame);
    EXPECT_TRUE(notifier.texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Segments, RollOver,
                         ::testing::Values(RollOverCase{1, 5, 300, 2},      // 10:04:58 closes the first file
                                           RollOverCase{1, 1, 60, 2},
                                           RollOverCase{1, 0, 60, 2},       // below 1 acts as 1
                                           RollOverCase{1, -3, 60, 2},
                                           RollOverCase{0, 5, 3 * 3600, 1}  // manual camera: one file
                                           ));

TEST_F(Recording, RollOverNamesTheNewFileAfterTheCut)
{
    state.settings.scheduleRecord[0] = 1;
    state.settings.segmentMinutes = 5;
    open(0);
    write(0, frames[0]);
    clock.wall = utc(2026, 3, 1, 10, 5, 3);
    write(0, frames[1]);
    ASSERT_NE(state.aviFile[0], nullptr);
    EXPECT_EQ(state.aviFile[0]->path().filename(), "Date_01_03_2026_Time_10_05_03.avi");
    recorder.CloseRecording(0);
}

TEST_F(Recording, NeverReplacesAnExistingFile)
{
    const fs::path taken = folder.path() / recorder.BuildRecordingName(0);
    { std::ofstream(taken) << "earlier recording"; }
    const fs::path first = open(0);
    write(0, frames[0]);
    recorder.CloseRecording(0);
    // Same second again, e.g. a cut right after a manual start.
    const fs::path second = open(0);
    recorder.CloseRecording(0);

    EXPECT_EQ(readBytes(taken), std::vector<uint8_t>({'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'r', 'e', 'c', 'o', 'r',
                                                      'd', 'i', 'n', 'g'}));
    EXPECT_EQ(first.filename(), "Date_01_03_2026_Time_09_59_58_2.avi");
    EXPECT_EQ(second.filename(), "Date_01_03_2026_Time_09_59_58_3.avi");
    EXPECT_EQ(readAvi(first).framePositions().size(), 1u);
    // Closed before any frame: still a valid, empty recording.
    const ProbedStream empty = ffprobe(second);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.packets, 0);
}

TEST_F(Recording, FileThatCannotBeCreatedIsReportedAndNothingIsWritten)
{
    state.setCameraName(2, "Nowhere");  // no folder below video
    EXPECT_FALSE(recorder.OpenRecording(recorder.BuildRecordingName(2), 2));
    EXPECT_EQ(state.aviFile[2], nullptr);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"FAILURE: Opening AVI file..."});
    write(2, frames[0]);
    EXPECT_EQ(recorder.frameCounter(), 1);

    // The same in a roll-over, from the worker.
    state.settings.scheduleRecord[0] = 1;
    open(0);
    fs::remove_all(folder.path() / "video" / "Door");
    clock.wall += 600;
    write(0, frames[0]);
    EXPECT_EQ(state.aviFile[0], nullptr);
    // The worker holds its recordLock here: the message waits until it lets go.
    EXPECT_EQ(notifier.texts().size(), 1u);
    recorder.reportPendingFailure();
    EXPECT_EQ(notifier.texts().size(), 2u);
    recorder.reportPendingFailure();
    EXPECT_EQ(notifier.texts().size(), 2u);

    // Retries of a slot that keeps failing (the schedule tries every minute)
    // say it once; after a good open a new failure is told again. A user's
    // own request is answered every time.
    const auto once = AviRecorder::FailureReport::OncePerEpisode;
    EXPECT_FALSE(recorder.OpenRecording(recorder.BuildRecordingName(2), 2, once));
    EXPECT_FALSE(recorder.OpenRecording(recorder.BuildRecordingName(0), 0, once));
    EXPECT_EQ(notifier.texts().size(), 2u);
    EXPECT_FALSE(recorder.OpenRecording(recorder.BuildRecordingName(2), 2));
    EXPECT_EQ(notifier.texts().size(), 3u);
    fs::create_directories(folder.path() / "video" / "Nowhere");
    EXPECT_TRUE(recorder.OpenRecording(recorder.BuildRecordingName(2), 2, once));
    EXPECT_EQ(state.recordingOpen[2].load(), 1);
    recorder.CloseRecording(2);
    EXPECT_EQ(state.recordingOpen[2].load(), 0);
    fs::remove_all(folder.path() / "video" / "Nowhere");
    EXPECT_FALSE(recorder.OpenRecording(recorder.BuildRecordingName(2), 2, once));
    EXPECT_EQ(notifier.texts().size(), 4u);

    // A camera name that climbs out of the recordings folder opens nothing there.
    state.setCameraName(3, "..");
    EXPECT_FALSE(recorder.OpenRecording(recorder.BuildRecordingName(3), 3));
    EXPECT_EQ(state.aviFile[3], nullptr);
    for (const auto& e : fs::directory_iterator(folder.path())) EXPECT_NE(e.path().extension(), ".avi");
}

TEST_F(Recording, FailedWritesCostNoFrames)
{
    // The disk refuses everything while `full` is set, then frees up.
    bool full = false;
    int refused = 0;
    recorder.setWriteFunction([&](int fd, const iovec* pieces, int count, off_t offset) -> ssize_t {
        if (full) {
            ++refused;
            errno = ENOSPC;
            return -1;
        }
        return ::pwritev(fd, pieces, count, offset);
    });
    const fs::path path = open(0);
    write(0, frames[0]);
    write(0, frames[1]);
    full = true;
    write(0, frames[2]);
    write(0, frames[3]);
    full = false;
    write(0, frames[4]);
    write(0, frames[5]);
    recorder.CloseRecording(0);
    EXPECT_GT(refused, 0);
    EXPECT_TRUE(notifier.texts().empty());

    const AviFile avi = readAvi(path);
    const auto positions = avi.framePositions();
    ASSERT_EQ(positions.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(avi.chunks[positions[i]].data, frames[i]) << i;
    EXPECT_EQ(ffprobe(path).packets, static_cast<long>(frames.size()));
}

TEST_F(Recording, KilledRecorderLeavesAReadableFile)
{
    int reports[2];
    ASSERT_EQ(::pipe(reports), 0);
    const fs::path path = folder.path() / recorder.BuildRecordingName(0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Records until killed, telling the parent after every frame.
        ::close(reports[0]);
        open(0);
        for (uint32_t n = 1;; ++n) {
            write(0, frames[n % frames.size()]);
            if (::write(reports[1], &n, sizeof n) != sizeof n) ::_exit(1);
        }
    }
    ::close(reports[1]);
    uint32_t written = 0;
    while (written < 40 && ::read(reports[0], &written, sizeof written) == sizeof written) {
    }
    ::kill(child, SIGKILL);
    uint32_t n = 0;
    while (::read(reports[0], &n, sizeof n) == sizeof n) written = n;  // reports sent before the kill
    ::close(reports[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(written, 40u);

    // Every frame the recorder had finished is there; at most the one being
    // written when the signal came is missing or extra.
    const AviFile avi = readAvi(path);
    ASSERT_TRUE(avi.valid);
    const auto positions = avi.framePositions();
    EXPECT_GE(positions.size(), written);
    EXPECT_LE(positions.size(), written + 1);
    for (size_t i = 0; i < positions.size(); ++i) {
        ASSERT_EQ(positions[i], i * 10);
        EXPECT_EQ(avi.chunks[positions[i]].data, frames[(i + 1) % frames.size()]) << i;
    }
    const ProbedStream probe = ffprobe(path);
    EXPECT_TRUE(probe.ok);
    EXPECT_EQ(probe.codecName, "mjpeg");
    EXPECT_GE(probe.packets, static_cast<long>(written));
    EXPECT_LE(probe.packets, static_cast<long>(written) + 1);
}

TEST_F(Recording, OpenAndCloseNeverOverlapAWrite)
{
    // The UI thread opens and closes while the worker writes, as the
    // recording window and the schedule do; the sanitizer build would
    // catch a frame written into a released recording.
    std::atomic<bool> stop{false};
    std::atomic<int> attempts{0};
    std::thread worker([&] {
        while (!stop) {
            write(0, frames[static_cast<size_t>(attempts++) % frames.size()]);
            std::this_thread::yield();
        }
    });
    std::vector<fs::path> files;
    for (int i = 0; i < 20; ++i) {
        clock.wall += 1;
        files.push_back(open(0));
        while (attempts < 3 * (i + 1)) std::this_thread::yield();
        recorder.CloseRecording(0);
    }
    stop = true;
    worker.join();
    int frameCount = 0;
    for (const auto& f : files) {
        const AviFile avi = readAvi(f);
        ASSERT_TRUE(avi.valid) << f;
        EXPECT_EQ(avi.indexEntries, avi.chunks.size()) << f;
        frameCount += static_cast<int>(avi.framePositions().size());
    }
    EXPECT_GT(frameCount, 0);
    EXPECT_EQ(frameCount, recorder.frameCounter() - 1);
}

namespace {

// Slot 0 is an RTSP camera, slot 1 a picture camera; the connection's part
// is handing each packet to the recorder under the slot's recordLock.
struct RtspRecording : Recording {
    PacketSource clip{ClipRecipe{}.withAudio("aac")};
    std::vector<std::pair<fs::path, bool>> events;
    int64_t startMs = 0;

    RtspRecording()
    {
        CameraTable table;
        table.allocate(2);
        table.count = 2;
        table.address = {"10.0.0.5:554", "10.0.0.6:80"};
        table.type = {rtspType, 101};
        table.rtsp[0] = RtspSettings{"/Streaming/Channels/101", "", false};
        state.replaceCameraTable(table, 2);
        clock.wall = utc(2026, 3, 1, 10, 0, 0);
        startMs = clock.nowMs();
        recorder.setRecordingEvent([this](int, const fs::path& file, bool opened) { events.emplace_back(file, opened); });
    }

    // When a packet of the clip arrives, ms after the first picture: sound
    // may trail the pictures by `soundLagMs`.
    static int64_t arrivalMs(const PacketSource& source, const AVPacket& p, int64_t soundLagMs)
    {
        return std::max<int64_t>(0, source.dueMs(p) + (source.isVideo(p) ? 0 : soundLagMs));
    }

    // The clip's packets as they arrive; the clock moves `skipS` seconds on
    // at frame `skipAt`.
    void play(const PacketSource& source, int64_t fromMs, int skipAt = -1, int skipS = 0, int64_t soundLagMs = 0)
    {
        std::vector<const AVPacket*> arriving(source.packets().begin(), source.packets().end());
        if (soundLagMs != 0)
            std::stable_sort(arriving.begin(), arriving.end(), [&](const AVPacket* a, const AVPacket* b) {
                return arrivalMs(source, *a, soundLagMs) < arrivalMs(source, *b, soundLagMs);
            });
        int64_t skipped = 0;
        for (const AVPacket* p : arriving) {
            if (source.isVideo(*p) && source.frameNumber(*p) == skipAt) skipped = skipS * 1000;
            clock.setWallMs(fromMs + arrivalMs(source, *p, soundLagMs) + skipped);
            std::lock_guard lock(state.recordLock[0]);
            recorder.writePacket(0, source.input(), *p);
        }
    }

    std::vector<fs::path> files(const std::string& camera = "Door") const
    {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(folder.path() / "video" / camera)) found.push_back(e.path());
        std::sort(found.begin(), found.end());
        return found;
    }
};

}  // namespace

TEST_F(RtspRecording, OpensAMatroskaCopyAndReportsItLikeAnAvi)
{
    EXPECT_EQ(recorder.BuildRecordingName(0), fs::path("video/Door/Date_01_03_2026_Time_10_00_00.mkv"));
    EXPECT_EQ(recorder.BuildRecordingName(1), fs::path("video/Yard/Date_01_03_2026_Time_10_00_00.avi"));
    const fs::path path = open(0);
    EXPECT_TRUE(files().empty()) << "the file waits for the first key frame";
    EXPECT_EQ(state.aviFile[0], nullptr);
    ASSERT_NE(state.streamFile[0], nullptr);
    EXPECT_EQ(state.recordingOpen[0].load(), 1);
    EXPECT_FALSE(recorder.wantsPixels(0));
    write(0, frames[0]);  // a picture for an RTSP slot goes nowhere
    EXPECT_EQ(recorder.frameCounter(), 1);

    play(clip, startMs);
    EXPECT_EQ(state.streamFile[0]->framesWritten(), 30);
    EXPECT_TRUE(recorder.CloseRecordingBefore(0, std::chrono::steady_clock::now() + std::chrono::seconds(5)));
    EXPECT_EQ(state.streamFile[0], nullptr);
    EXPECT_EQ(state.recordingOpen[0].load(), 0);
    EXPECT_EQ(events, (std::vector<std::pair<fs::path, bool>>{{path, true}, {path, false}}));
    EXPECT_EQ(frameDigests(path), frameDigests(clip.file()));
    EXPECT_EQ(probeFile(path).tracks.size(), 2u);

    // A packet with no recording open is dropped.
    clock.wall += 5;
    {
        std::lock_guard lock(state.recordLock[0]);
        recorder.writePacket(0, clip.input(), *clip.packets()[0]);
    }
    EXPECT_EQ(files().size(), 1u);

    // Failing to create the file is told as for an AVI.
    fs::remove_all(folder.path() / "video" / "Door");
    EXPECT_FALSE(recorder.OpenRecording(recorder.BuildRecordingName(0), 0));
    EXPECT_EQ(state.streamFile[0], nullptr);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"FAILURE: Opening AVI file..."});
    // The timetable names its recordings ".avi": an RTSP slot's is a
    // Matroska copy all the same.
    fs::create_directories(folder.path() / "video" / "Door");
    ASSERT_TRUE(recorder.OpenRecording("video/Door/Date_01_03_2026_Time_11_00_00.avi", 0));
    ASSERT_NE(state.streamFile[0], nullptr);
    EXPECT_EQ(state.streamFile[0]->path().filename(), "Date_01_03_2026_Time_11_00_00.mkv");
}

struct PacketRollOverCase {
    const char* name;
    int scheduleRecord;
    int segmentTimeAtFrame;  // the clock passes the segment's end at this frame
    int firstFrameOfSecondFile;  // -1: one file
};

void PrintTo(const PacketRollOverCase& c, std::ostream* out) { *out << c.name; }

class PacketRollOver : public RtspRecording, public ::testing::WithParamInterface<PacketRollOverCase> {};

// A segment ends at the first key frame after its time: that frame opens
// the next file; no picture is lost or written twice.
TEST_P(PacketRollOver, CutsAtTheFirstKeyFrameAfterTheSegmentTime)
{
    const PacketRollOverCase c = GetParam();
    state.settings.scheduleRecord[0] = c.scheduleRecord;
    state.settings.segmentMinutes = 1;
    const fs::path first = open(0);
    play(clip, startMs, c.segmentTimeAtFrame, 60);
    recorder.CloseRecording(0);

    const auto all = frameDigests(clip.file());
    const std::vector<fs::path> made = files();
    if (c.firstFrameOfSecondFile < 0) {
        ASSERT_EQ(made, std::vector<fs::path>{first});
        EXPECT_EQ(frameDigests(first), all);
        return;
    }
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0], first);
    const auto split = static_cast<std::ptrdiff_t>(c.firstFrameOfSecondFile);
    EXPECT_EQ(frameDigests(made[0]), std::vector<std::string>(all.begin(), all.begin() + split));
    EXPECT_EQ(frameDigests(made[1]), std::vector<std::string>(all.begin() + split, all.end()));
    // Named and dated by the key frame that opened it.
    const int64_t cutMs = startMs + 60000 + 40 * c.firstFrameOfSecondFile;
    EXPECT_EQ(made[1].filename(), "Date_01_03_2026_Time_10_01_00.mkv");
    const ProbedFile second = probeFile(made[1]);
    EXPECT_EQ(second.creationTime, "2026-03-01T10:01:00." + std::to_string(cutMs % 1000) + "000Z");
    ASSERT_FALSE(second.of("video").empty());
    EXPECT_TRUE(second.of("video")[0].key);
    EXPECT_EQ(second.of("video")[0].pts, 0);
    EXPECT_FALSE(second.of("audio").empty());
    EXPECT_EQ(state.segmentStart[0].load(), cutMs / 1000);
    EXPECT_EQ(events.size(), 4u);
    EXPECT_TRUE(notifier.texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Segments, PacketRollOver,
                         ::testing::Values(PacketRollOverCase{"MidGroup", 1, 14, 20},
                                           PacketRollOverCase{"AtKeyFrame", 1, 10, 10},
                                           PacketRollOverCase{"JustAfterKeyFrame", 1, 11, 20},
                                           PacketRollOverCase{"ManualCamera", 0, 14, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

// Each sound packet of the file's first sound track, as "size,digest", in order.
std::vector<std::string> soundPackets(const fs::path& file)
{
    std::istringstream lines(runCommand("ffmpeg -v error -nostdin -i '" + file.string() +
                                        "' -map 0:a:0 -c copy -f framemd5 - 2>/dev/null"));
    std::vector<std::string> packets;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        // "stream, dts, pts, duration, size, digest"
        size_t at = 0;
        for (int field = 0; field < 4 && at != std::string::npos; ++field) at = line.find(',', at + 1);
        if (at != std::string::npos) packets.push_back(line.substr(at + 1));
    }
    return packets;
}

// The samples the file's first sound track decodes to.
long soundSamples(const fs::path& file)
{
    std::istringstream lines(runCommand("ffprobe -v error -select_streams a:0 -show_entries frame=nb_samples "
                                        "-of csv=p=0 '" + file.string() + "' 2>/dev/null"));
    long samples = 0;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) samples += std::stol(line);
    return samples;
}

}  // namespace

class SoundAtRollOver : public RtspRecording, public ::testing::WithParamInterface<const char*> {};

// Sound comes on its own way and may trail the pictures: sound stamped
// before the key frame that opens the next file but arriving after it goes
// to the old file; across the cut no sound is lost or written twice.
TEST_P(SoundAtRollOver, LateSoundGoesToTheFileItBelongsTo)
{
    const PacketSource source(ClipRecipe{}.withAudio(GetParam()));
    constexpr int64_t lagMs = 400;
    constexpr int cutFrame = 20;  // the first key frame after the segment's time
    const int64_t cutDueMs = 1000 * cutFrame / ClipRecipe::rate;
    // The clip's sound from the first picture on (what one file keeps),
    // split at the cut by its stamps.
    int soundBefore = 0, soundAfter = 0, late = 0;
    for (const AVPacket* p : source.packets()) {
        if (source.isVideo(*p) || source.dueMs(*p) < 0) continue;
        const bool before = source.dueMs(*p) < cutDueMs;
        (before ? soundBefore : soundAfter) += 1;
        late += before && arrivalMs(source, *p, lagMs) > cutDueMs;
    }
    ASSERT_GT(late, 0) << "sound stamped before the cut must arrive after it";
    ASSERT_GT(soundAfter, 0);

    // Recorded once without a cut, for the samples.
    state.settings.segmentMinutes = 1;
    open(0);
    play(source, startMs, -1, 0, lagMs);
    recorder.CloseRecording(0);
    ASSERT_EQ(files().size(), 1u);
    const fs::path whole = folder.path() / "whole.mkv";
    fs::rename(files()[0], whole);
    const std::vector<std::string> wholeSound = soundPackets(whole);
    ASSERT_EQ(wholeSound.size(), static_cast<size_t>(soundBefore + soundAfter));
    const std::vector<std::string> clipSound = soundPackets(source.file());
    ASSERT_GE(clipSound.size(), wholeSound.size());
    EXPECT_TRUE(std::equal(wholeSound.begin(), wholeSound.end(), clipSound.end() - static_cast<std::ptrdiff_t>(wholeSound.size())));

    clock.wall = utc(2026, 3, 1, 11, 0, 0);
    const int64_t fromMs = clock.nowMs();
    state.settings.scheduleRecord[0] = 1;
    events.clear();
    const fs::path first = open(0);
    play(source, fromMs, 14, 60, lagMs);
    recorder.CloseRecording(0);
    const std::vector<fs::path> made = files();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0], first);
    const std::vector<std::string> a = soundPackets(made[0]), b = soundPackets(made[1]);
    EXPECT_EQ(a.size(), static_cast<size_t>(soundBefore)) << "the late sound is in the first file";
    EXPECT_EQ(b.size(), static_cast<size_t>(soundAfter));
    std::vector<std::string> both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(both, wholeSound);
    EXPECT_EQ(soundSamples(made[0]) + soundSamples(made[1]), soundSamples(whole));
    // The pictures split at the cut as always.
    const auto pictures = frameDigests(source.file());
    EXPECT_EQ(frameDigests(made[0]), std::vector<std::string>(pictures.begin(), pictures.begin() + cutFrame));
    EXPECT_EQ(frameDigests(made[1]), std::vector<std::string>(pictures.begin() + cutFrame, pictures.end()));
    // Each file is told closed once, the first once its late sound is in.
    const std::vector<std::pair<fs::path, bool>> told{{made[0], true}, {made[1], true}, {made[0], false}, {made[1], false}};
    EXPECT_EQ(events, told);
}

INSTANTIATE_TEST_SUITE_P(Sounds, SoundAtRollOver, ::testing::Values("aac", "pcm_mulaw"));

// A file cut at a segment's end waits no longer than the late sound may
// take: the recording job completes it when no packet comes.
TEST_F(RtspRecording, ACutFileIsCompletedWhenNoMoreSoundCanCome)
{
    state.settings.scheduleRecord[0] = 1;
    state.settings.segmentMinutes = 1;
    const fs::path first = open(0);
    // The connection stalls just after the cutting key frame, before the
    // sound stamped before it.
    const PacketSource& source = clip;
    for (const AVPacket* p : source.packets()) {
        const bool video = source.isVideo(*p);
        if (video && source.frameNumber(*p) > 20) break;
        if (!video && source.dueMs(*p) >= 400) continue;
        clock.setWallMs(startMs + std::max<int64_t>(0, source.dueMs(*p)) + (video && source.frameNumber(*p) >= 14 ? 60000 : 0));
        std::lock_guard lock(state.recordLock[0]);
        recorder.writePacket(0, source.input(), *p);
    }
    ASSERT_EQ(events.size(), 2u) << "the first file waits for its late sound";
    // Told, so the engine's idle flush reaches it even when no recording is open.
    EXPECT_TRUE(recorder.finishingCut(0));
    clock.setWallMs(clock.nowMs() + StreamRecording::lateSoundMs - 1);
    recorder.flushIdleStream(0, 500);
    EXPECT_EQ(events.size(), 2u);
    clock.setWallMs(clock.nowMs() + 1);
    recorder.flushIdleStream(0, 500);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_FALSE(recorder.finishingCut(0));
    EXPECT_EQ(events[2], std::make_pair(first, false));
    EXPECT_EQ(frameDigests(first).size(), 20u) << "completed and readable";
    recorder.CloseRecording(0);
    EXPECT_EQ(events.size(), 4u);
}

// A camera that comes back with another stream gets a new file at once,
// even outside the schedule; its first key frame opens it.
// The recording job's flush hands an idle stream's last packets to the
// file; while packets keep coming the muxer's own clusters do.
// A recording stopped before its first key frame leaves no file but is
// opened and closed under its name all the same; a file that cannot be
// made at the first key frame is told once, as an open that failed.
TEST_F(RtspRecording, TheFileComesWithTheFirstKeyFrame)
{
    const fs::path path = open(0);
    {
        std::lock_guard lock(state.recordLock[0]);
        for (const AVPacket* p : clip.packets())
            if (!StreamRecording::isVideoKeyFrame(clip.input(), *p)) recorder.writePacket(0, clip.input(), *p);
    }
    EXPECT_TRUE(files().empty());
    recorder.CloseRecording(0);
    EXPECT_TRUE(files().empty());
    EXPECT_EQ(events, (std::vector<std::pair<fs::path, bool>>{{path, true}, {path, false}}));

    // A file that cannot be made at the first key frame is an open that
    // failed: told once, the recording closed, and a later open records.
    clock.wall += 1;
    const fs::path lost = open(0);
    fs::remove_all(folder.path() / "video" / "Door");
    play(clip, startMs);
    recorder.reportPendingFailure();
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"FAILURE: Opening AVI file..."});
    EXPECT_EQ(state.recordingOpen[0].load(), 0);
    EXPECT_EQ(state.streamFile[0], nullptr);
    EXPECT_EQ(events.back(), std::make_pair(lost, false));
    clock.wall += 60;
    fs::create_directories(folder.path() / "video" / "Door");  // the folder is back
    const fs::path again = open(0);
    play(clip, startMs + 60'000);
    recorder.CloseRecording(0);
    EXPECT_TRUE(fs::exists(again));
    EXPECT_EQ(notifier.texts().size(), 1u);
}

TEST_F(RtspRecording, TheEventsFollowAFileThatTookTheNextFreeName)
{
    const fs::path announced = open(0);
    { std::ofstream(announced) << "someone else's"; }  // the name is taken before the first key frame
    play(clip, startMs);
    ASSERT_NE(state.streamFile[0], nullptr);
    const fs::path made = state.streamFile[0]->path();
    EXPECT_NE(made, announced);
    recorder.CloseRecording(0);
    EXPECT_EQ(events, (std::vector<std::pair<fs::path, bool>>{
                          {announced, true}, {announced, false}, {made, true}, {made, false}}));
    EXPECT_TRUE(fs::exists(made));
}

TEST_F(RtspRecording, AnIdleStreamIsFlushedAfterHalfASecond)
{
    open(0);
    play(clip, startMs);
    ASSERT_TRUE(state.streamFile[0]->unflushed());
    const int64_t last = state.streamFile[0]->lastReceivedMs();
    clock.setWallMs(last + 499);
    recorder.flushIdleStream(0, 500);
    EXPECT_TRUE(state.streamFile[0]->unflushed()) << "not idle yet";
    clock.setWallMs(last + 500);
    recorder.flushIdleStream(0, 500);
    EXPECT_FALSE(state.streamFile[0]->unflushed());
    recorder.flushIdleStream(1, 500);  // a picture camera's slot: nothing to do
}

TEST_F(RtspRecording, ChangedStreamStartsANewFile)
{
    const PacketSource larger(ClipRecipe{}.withSize(176, 144));
    const fs::path first = open(0);
    play(clip, startMs);
    clock.wall += 5;
    play(larger, clock.nowMs());
    recorder.CloseRecording(0);

    const std::vector<fs::path> made = files();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0], first);
    EXPECT_EQ(frameDigests(made[0]), frameDigests(clip.file()));
    EXPECT_EQ(frameDigests(made[1]), frameDigests(larger.file()));
    const ProbedFile second = probeFile(made[1]);
    ASSERT_EQ(second.tracks.size(), 1u);
    EXPECT_EQ(second.tracks[0].width, 176);
    EXPECT_TRUE(notifier.texts().empty());
}

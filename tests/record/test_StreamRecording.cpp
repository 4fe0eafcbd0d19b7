// Copies of RTSP cameras' packets, read back by ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>

#include "StreamRecording.h"
#include "support/Ffprobe.h"
#include "support/PacketSource.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

using Write = StreamRecording::Write;

// 2026-03-01 10:00:00.250 UTC
constexpr int64_t startMs = 1772359200250;

struct Fed {
    std::vector<Write> video;  // per video packet, in file order
    int audioWritten = 0;
    int64_t lastReceivedMs = 0;
};

// Hands the packets from `first` on to the recording as if each arrived
// when due, the first picture at `atMs`.
Fed feed(StreamRecording& recording, const PacketSource& source, int64_t atMs, size_t first = 0)
{
    Fed fed;
    const auto& packets = source.packets();
    int64_t base = 0;
    for (size_t k = first; k < packets.size(); ++k)
        if (source.isVideo(*packets[k])) {
            base = source.dueMs(*packets[k]);
            break;
        }
    for (size_t k = first; k < packets.size(); ++k) {
        const AVPacket& p = *packets[k];
        fed.lastReceivedMs = atMs + std::max<int64_t>(0, source.dueMs(p) - base);
        const Write w = recording.write(source.input(), p, fed.lastReceivedMs);
        if (source.isVideo(p))
            fed.video.push_back(w);
        else if (w == Write::Written)
            ++fed.audioWritten;
    }
    return fed;
}

// The index in the packet list of the video packet of frame `frame`.
size_t packetOfFrame(const PacketSource& source, int frame)
{
    for (size_t k = 0; k < source.packets().size(); ++k)
        if (source.isVideo(*source.packets()[k]) && source.frameNumber(*source.packets()[k]) == frame) return k;
    return source.packets().size();
}

std::vector<std::string> slice(const std::vector<std::string>& v, size_t from, size_t to = SIZE_MAX)
{
    return {v.begin() + static_cast<std::ptrdiff_t>(std::min(from, v.size())),
            v.begin() + static_cast<std::ptrdiff_t>(std::min(to, v.size()))};
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Times rise from packet to packet (strictly for pictures).
void expectRising(const std::vector<ProbedPacket>& packets, bool strictly, const std::string& what)
{
    for (size_t k = 1; k < packets.size(); ++k) {
        if (strictly)
            ASSERT_GT(packets[k].pts, packets[k - 1].pts) << what << " packet " << k;
        else
            ASSERT_GE(packets[k].pts, packets[k - 1].pts) << what << " packet " << k;
    }
}

struct StreamFile : ::testing::Test {
    TempFolder folder;
    fs::path wanted = folder.path() / "Date_01_03_2026_Time_10_00_00.mkv";
};

struct CopyCase {
    const char* name;
    ClipRecipe clip;
    const char* videoCodec;  // as ffprobe names them
    const char* audioCodec;  // "" none
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

class StreamCopy : public StreamFile, public ::testing::WithParamInterface<CopyCase> {};

// Every picture reaches the file unchanged, in order, with its time; the
// sound track too; the file carries the first frame's wall-clock time.
TEST_P(StreamCopy, KeepsEveryFrameWithItsTime)
{
    const CopyCase& c = GetParam();
    PacketSource source(c.clip);
    auto recording = StreamRecording::create(wanted);
    ASSERT_NE(recording, nullptr);
    const Fed fed = feed(*recording, source, startMs);
    EXPECT_EQ(std::count(fed.video.begin(), fed.video.end(), Write::Written), c.clip.frames);
    EXPECT_EQ(recording->framesWritten(), c.clip.frames);
    recording->finish();

    const ProbedFile probe = probeFile(recording->path());
    ASSERT_TRUE(probe.ok);
    ASSERT_EQ(probe.tracks.size(), *c.audioCodec ? 2u : 1u);
    EXPECT_EQ(probe.tracks[0].codecType, "video");
    EXPECT_EQ(probe.tracks[0].codecName, c.videoCodec);
    EXPECT_EQ(probe.tracks[0].width, c.clip.width);
    EXPECT_EQ(probe.tracks[0].height, c.clip.height);
    EXPECT_EQ(probe.creationTime, "2026-03-01T10:00:00.250000Z");

    const auto video = probe.of("video");
    ASSERT_EQ(static_cast<int>(video.size()), c.clip.frames);
    EXPECT_TRUE(video[0].key);
    if (c.clip.bFrames == 0) expectRising(video, true, "video");
    std::vector<long long> shown;
    for (const auto& p : video) shown.push_back(p.pts);
    std::sort(shown.begin(), shown.end());
    for (int k = 0; k < c.clip.frames; ++k) EXPECT_EQ(shown[static_cast<size_t>(k)], 40 * k) << "frame " << k;
    EXPECT_EQ(frameDigests(recording->path()), frameDigests(source.file()));

    if (*c.audioCodec) {
        EXPECT_EQ(probe.tracks[1].codecName, c.audioCodec);
        const auto audio = probe.of("audio");
        // All sound from the first picture on.
        const auto sound = std::count_if(source.packets().begin(), source.packets().end(), [&](const AVPacket* p) {
            return !source.isVideo(*p) && source.dueMs(*p) >= 0;
        });
        EXPECT_EQ(static_cast<long>(audio.size()), sound);
        EXPECT_EQ(fed.audioWritten, sound);
        expectRising(audio, false, "audio");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamCopy,
    ::testing::Values(CopyCase{"H264", ClipRecipe{}, "h264", ""},
                      CopyCase{"H264Aac", ClipRecipe{}.withAudio("aac"), "h264", "aac"},
                      CopyCase{"H265", ClipRecipe{}.withVideo("libx265"), "hevc", ""},
                      CopyCase{"H265Mulaw", ClipRecipe{}.withVideo("libx265").withAudio("pcm_mulaw"), "hevc", "pcm_mulaw"},
                      CopyCase{"H264ReorderedAlaw", ClipRecipe{}.withBFrames(2).withAudio("pcm_alaw"), "h264",
                               "pcm_alaw"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StreamFile, StartsAtTheFirstKeyFrame)
{
    PacketSource source(ClipRecipe{}.withAudio("aac"));
    {
        // Nothing but frames that need earlier ones: no file at all.
        auto recording = StreamRecording::create(wanted);
        std::vector<Write> results;
        for (size_t k = packetOfFrame(source, 3); k < packetOfFrame(source, 10); ++k)
            results.push_back(recording->write(source.input(), *source.packets()[k], startMs));
        EXPECT_FALSE(results.empty());
        for (Write w : results) EXPECT_EQ(w, Write::WaitingForKeyFrame);
        recording->finish();
        EXPECT_FALSE(fs::exists(recording->path()));
    }
    auto recording = StreamRecording::create(wanted);
    const Fed fed = feed(*recording, source, startMs, packetOfFrame(source, 3));
    ASSERT_EQ(fed.video.size(), 27u);
    for (size_t k = 0; k < fed.video.size(); ++k)
        EXPECT_EQ(fed.video[k], k < 7 ? Write::WaitingForKeyFrame : Write::Written) << "frame " << k + 3;
    recording->finish();

    const ProbedFile probe = probeFile(recording->path());
    const auto video = probe.of("video");
    ASSERT_EQ(video.size(), 20u);
    EXPECT_TRUE(video[0].key);
    EXPECT_EQ(video[0].pts, 0);
    // Dated by the key frame that opened it, 7 frames after the first packet.
    EXPECT_EQ(probe.creationTime, "2026-03-01T10:00:00.530000Z");
    for (const auto& p : probe.of("audio")) EXPECT_GE(p.pts, 0) << "no sound from before the picture";
    EXPECT_EQ(frameDigests(recording->path()), slice(frameDigests(source.file()), 10));
}

// The file is made at the first key frame, with that frame in it at once:
// a recording that ends before it, however it ends, leaves no file; one
// killed right after it leaves a file that shows that frame. Run in a
// child each, which ends as told without finishing anything.
TEST_F(StreamFile, MadeAtTheFirstKeyFrameWithItsPictureWhateverComesNext)
{
    PacketSource source(ClipRecipe{}.withAudio("aac"));
    enum class End { Finish, Destroy, Kill };
    const struct {
        const char* name;
        int lastFrame;  // the last frame handed over: frame 10 is the first key frame after frame 3
        End end;
        int framesInFile;  // -1: no file
    } cases[] = {
        {"finished before the key frame", 9, End::Finish, -1},
        {"destroyed before the key frame", 9, End::Destroy, -1},
        {"killed before the key frame", 9, End::Kill, -1},
        {"killed at the key frame", 10, End::Kill, 1},
        {"finished after the key frame", 10, End::Finish, 1},
    };
    const auto clip = frameDigests(source.file());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path name = folder.path() / (std::string(c.name) + ".mkv");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto recording = StreamRecording::create(name);
            // Named at once, nothing on the disk yet.
            if (!recording || recording->path() != name || fs::exists(name)) ::_exit(3);
            for (size_t k = packetOfFrame(source, 3); k <= packetOfFrame(source, c.lastFrame); ++k)
                recording->write(source.input(), *source.packets()[k], startMs + source.dueMs(*source.packets()[k]));
            if (c.end == End::Finish) recording->finish();
            if (c.end == End::Destroy) recording.reset();
            if (c.end == End::Kill) ::kill(::getpid(), SIGKILL);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (c.end == End::Kill)
            ASSERT_TRUE(WIFSIGNALED(status));
        else
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        if (c.framesInFile < 0) {
            EXPECT_TRUE(fs::is_empty(folder.path())) << "no file without a picture";
            continue;
        }
        ASSERT_TRUE(fs::exists(name));
        const ProbedFile probe = probeFile(name);
        ASSERT_TRUE(probe.ok);
        ASSERT_EQ(probe.of("video").size(), static_cast<size_t>(c.framesInFile));
        EXPECT_TRUE(probe.of("video")[0].key);
        EXPECT_EQ(frameDigests(name), slice(clip, 10, 11));
        fs::remove(name);
    }
}

// A file that took the recording's name before its first key frame is
// not replaced: the recording gets the next free name.
TEST_F(StreamFile, ANameTakenBeforeTheFirstKeyFrameIsNotReplaced)
{
    PacketSource source(ClipRecipe{});
    auto recording = StreamRecording::create(wanted);
    ASSERT_NE(recording, nullptr);
    EXPECT_EQ(recording->path(), wanted);
    { std::ofstream(wanted) << "someone else's"; }
    feed(*recording, source, startMs);
    recording->finish();
    const fs::path second = folder.path() / "Date_01_03_2026_Time_10_00_00_2.mkv";
    EXPECT_EQ(recording->path(), second);
    EXPECT_EQ(frameDigests(second), frameDigests(source.file()));
    std::ifstream in(wanted);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "someone else's");
    // A folder that cannot take a file gives no recording.
    EXPECT_EQ(StreamRecording::create(folder.path() / "missing" / "a.mkv"), nullptr);
}

struct ReconnectCase {
    const char* name;
    int firstFrame;  // of the second connection
};

void PrintTo(const ReconnectCase& c, std::ostream* out) { *out << c.name; }

class Reconnect : public StreamFile, public ::testing::WithParamInterface<ReconnectCase> {};

// A new connection with the same streams goes on in the same file from its
// first key frame, its times after the time that passed.
TEST_P(Reconnect, SameStreamsContinueTheFile)
{
    const ClipRecipe clip = ClipRecipe{}.withAudio("aac");
    PacketSource first(clip);
    PacketSource second(clip);
    auto recording = StreamRecording::create(wanted);
    const Fed before = feed(*recording, first, startMs);
    const int64_t gapMs = 3000;
    const Fed after = feed(*recording, second, before.lastReceivedMs + gapMs,
                           packetOfFrame(second, GetParam().firstFrame));
    for (size_t k = 0; k < after.video.size(); ++k) {
        const int frame = GetParam().firstFrame + static_cast<int>(k);
        EXPECT_EQ(after.video[k], frame < 10 && GetParam().firstFrame > 0 ? Write::WaitingForKeyFrame : Write::Written)
            << "frame " << frame;
    }
    EXPECT_GT(after.audioWritten, 0);
    recording->finish();

    const ProbedFile probe = probeFile(recording->path());
    const auto video = probe.of("video");
    const size_t resumed = GetParam().firstFrame > 0 ? 10 : 0;
    ASSERT_EQ(video.size(), 30u + 30u - resumed);
    expectRising(video, true, "video");
    expectRising(probe.of("audio"), false, "audio");
    EXPECT_TRUE(video[30].key);
    // The gap is the time that passed from the first connection's last
    // packet to the second one's first key frame.
    const long long passed = gapMs + 40 * (static_cast<long long>(resumed) - GetParam().firstFrame);
    const long long step = video[30].pts - video[29].pts;
    EXPECT_GE(step, passed);
    EXPECT_LE(step, passed + 100);
    const auto digests = frameDigests(first.file());
    EXPECT_EQ(frameDigests(recording->path()), joined(digests, slice(digests, resumed)));
}

INSTANTIATE_TEST_SUITE_P(Connections, Reconnect,
                         ::testing::Values(ReconnectCase{"AtKeyFrame", 0}, ReconnectCase{"MidGroup", 5}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ChangeCase {
    const char* name;
    ClipRecipe first;
    ClipRecipe second;
};

void PrintTo(const ChangeCase& c, std::ostream* out) { *out << c.name; }

class ChangedStreams : public StreamFile, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangedStreams, AreRefusedAndTheFileStaysAsItWas)
{
    PacketSource first(GetParam().first);
    PacketSource second(GetParam().second);
    auto recording = StreamRecording::create(wanted);
    feed(*recording, first, startMs);
    std::vector<Write> results;
    for (const AVPacket* p : second.packets()) results.push_back(recording->write(second.input(), *p, startMs + 5000));
    for (Write w : results) EXPECT_EQ(w, Write::StreamsChanged);
    EXPECT_EQ(recording->framesWritten(), GetParam().first.frames);
    recording->finish();
    EXPECT_EQ(frameDigests(recording->path()), frameDigests(first.file()));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedStreams,
    ::testing::Values(ChangeCase{"PictureSize", {}, ClipRecipe{}.withSize(176, 144)},
                      ChangeCase{"Codec", {}, ClipRecipe{}.withVideo("libx265")},
                      ChangeCase{"SoundAdded", {}, ClipRecipe{}.withAudio("aac")},
                      ChangeCase{"SoundCodec", ClipRecipe{}.withAudio("pcm_mulaw"), ClipRecipe{}.withAudio("pcm_alaw")}),
    [](const auto& info) { return std::string(info.param.name); });

// The same demuxer address handing over another stream is a new camera
// stream, not the old one going on.
// A camera that stalls or drops leaves its last frames in the cluster the
// muxer is filling; a flush hands them to the file, so a kill after it
// loses none of them.
TEST_F(StreamFile, AFlushHandsTheLastFramesToTheFile)
{
    PacketSource source(ClipRecipe{});
    auto recording = StreamRecording::create(wanted);
    ASSERT_NE(recording, nullptr);
    feed(*recording, source, startMs);
    ASSERT_GT(recording->framesWritten(), 0);
    EXPECT_TRUE(recording->unflushed());
    // What a kill would leave, before and after the flush.
    const fs::path before = folder.path() / "before.mkv";
    const fs::path after = folder.path() / "after.mkv";
    fs::copy_file(recording->path(), before);
    recording->flush();
    EXPECT_FALSE(recording->unflushed());
    fs::copy_file(recording->path(), after);
    EXPECT_LT(probeFile(before).of("video").size(), static_cast<size_t>(recording->framesWritten()));
    EXPECT_EQ(probeFile(after).of("video").size(), static_cast<size_t>(recording->framesWritten()));
    EXPECT_EQ(frameDigests(after), frameDigests(source.file()));
}

TEST_F(StreamFile, ChangedParametersOfTheSameInputAreRefused)
{
    PacketSource source(ClipRecipe{});
    auto recording = StreamRecording::create(wanted);
    const auto& packets = source.packets();
    for (size_t k = 0; k < 10; ++k) EXPECT_EQ(recording->write(source.input(), *packets[k], startMs), Write::Written);
    AVCodecParameters* par = source.input().streams[source.videoStream()]->codecpar;
    par->width = 320;
    EXPECT_EQ(recording->write(source.input(), *packets[10], startMs + 400), Write::StreamsChanged);
    par->width = 160;
}

// Streams other than pictures and sound are not recorded, and an input
// without pictures starts no file: the first one with pictures does.
TEST_F(StreamFile, OnlyPicturesAndSoundAreRecorded)
{
    PacketSource noPictures(ClipRecipe{}.withAudio("aac"));
    AVCodecParameters* par = noPictures.input().streams[noPictures.videoStream()]->codecpar;
    par->codec_type = AVMEDIA_TYPE_DATA;  // say, the camera's event metadata
    auto recording = StreamRecording::create(wanted);
    for (const AVPacket* p : noPictures.packets())
        EXPECT_EQ(recording->write(noPictures.input(), *p, startMs), Write::Ignored);
    par->codec_type = AVMEDIA_TYPE_VIDEO;

    PacketSource withPictures(ClipRecipe{}.withAudio("aac"));
    const Fed fed = feed(*recording, withPictures, startMs + 2000);
    EXPECT_EQ(std::count(fed.video.begin(), fed.video.end(), Write::Written), 30);
    recording->finish();
    const ProbedFile probe = probeFile(recording->path());
    ASSERT_EQ(probe.tracks.size(), 2u);
    EXPECT_EQ(probe.creationTime, "2026-03-01T10:00:02.250000Z");
    EXPECT_EQ(frameDigests(recording->path()), frameDigests(withPictures.file()));
}

struct JumpCase {
    const char* name;
    int64_t jumpMs;  // added to the camera's times from frame 15 on
};

void PrintTo(const JumpCase& c, std::ostream* out) { *out << c.name; }

class ClockJump : public StreamFile, public ::testing::WithParamInterface<JumpCase> {};

// Times in the file rise at the pace the frames came, whatever the camera's
// clock does (a wrap, a reset); every frame is kept.
TEST_P(ClockJump, TimesKeepRisingAtTheReceivedPace)
{
    PacketSource source(ClipRecipe{}.withAudio("pcm_mulaw"));
    auto recording = StreamRecording::create(wanted);
    AVPacket* moved = av_packet_alloc();
    const size_t jumpAt = packetOfFrame(source, 15);
    for (size_t k = 0; k < source.packets().size(); ++k) {
        const AVPacket& p = *source.packets()[k];
        const int64_t received = startMs + source.dueMs(p);
        ASSERT_EQ(av_packet_ref(moved, &p), 0);
        if (k >= jumpAt) {
            const int64_t shift = av_rescale_q(GetParam().jumpMs, AVRational{1, 1000},
                                               source.input().streams[p.stream_index]->time_base);
            if (moved->pts != AV_NOPTS_VALUE) moved->pts += shift;
            if (moved->dts != AV_NOPTS_VALUE) moved->dts += shift;
        }
        const Write w = recording->write(source.input(), *moved, received);
        if (source.isVideo(p)) {
            EXPECT_EQ(w, Write::Written) << k;
        }
        av_packet_unref(moved);
    }
    av_packet_free(&moved);
    recording->finish();

    const ProbedFile probe = probeFile(recording->path());
    const auto video = probe.of("video");
    ASSERT_EQ(video.size(), 30u);
    for (size_t k = 1; k < video.size(); ++k) {
        EXPECT_GE(video[k].pts - video[k - 1].pts, 39) << k;
        EXPECT_LE(video[k].pts - video[k - 1].pts, 41) << k;
    }
    const auto audio = probe.of("audio");
    expectRising(audio, false, "audio");
    EXPECT_LE(audio.back().pts, video.back().pts + 200) << "sound stays with the picture";
    EXPECT_EQ(frameDigests(recording->path()), frameDigests(source.file()));
}

INSTANTIATE_TEST_SUITE_P(Jumps, ClockJump,
                         ::testing::Values(JumpCase{"Back", -600000}, JumpCase{"Ahead", 13LL * 3600 * 1000},
                                           JumpCase{"SlightlyBack", -200}),
                         [](const auto& info) { return std::string(info.param.name); });

class NoParameterSets : public StreamFile, public ::testing::WithParamInterface<const char*> {};

// A camera that announced no parameter sets: they are taken from its first
// key frame, so the file still plays.
TEST_P(NoParameterSets, AreTakenFromTheKeyFrame)
{
    PacketSource source(ClipRecipe{}.withVideo(GetParam()));
    AVCodecParameters* par = source.input().streams[source.videoStream()]->codecpar;
    av_freep(&par->extradata);
    par->extradata_size = 0;
    auto recording = StreamRecording::create(wanted);
    feed(*recording, source, startMs);
    recording->finish();
    EXPECT_EQ(frameDigests(recording->path()), frameDigests(source.file()));
}

INSTANTIATE_TEST_SUITE_P(Codecs, NoParameterSets, ::testing::Values("libx264", "libx265"));

struct FullDiskCase {
    const char* name;
    bool freesUp;  // the disk takes writes again before the recording ends
};

void PrintTo(const FullDiskCase& c, std::ostream* out) { *out << c.name; }

class FullDisk : public StreamFile, public ::testing::WithParamInterface<FullDiskCase> {};

// A disk that refuses writes costs the recording what it refused, quietly:
// bytes kept back go out when it frees up; the file reads to what reached it.
TEST_P(FullDisk, LosesOnlyWhatItRefused)
{
    PacketSource source(ClipRecipe{}.withFrames(60).withAudio("aac"));
    bool full = false;
    int refused = 0;
    auto recording = StreamRecording::create(wanted, [&](int fd, const iovec* pieces, int count, off_t offset) -> ssize_t {
        if (full) {
            ++refused;
            errno = ENOSPC;
            return -1;
        }
        return ::pwritev(fd, pieces, count, offset);
    });
    const auto& packets = source.packets();
    const size_t fullFrom = packetOfFrame(source, 20);
    const size_t freeFrom = packetOfFrame(source, 40);
    for (size_t k = 0; k < packets.size(); ++k) {
        if (k == fullFrom) full = true;
        if (k == freeFrom && GetParam().freesUp) full = false;
        const Write w = recording->write(source.input(), *packets[k], startMs + source.dueMs(*packets[k]));
        EXPECT_NE(w, Write::Lost) << k;
    }
    recording->finish();
    EXPECT_GT(refused, 0);

    const auto digests = frameDigests(recording->path());
    const auto all = frameDigests(source.file());
    if (GetParam().freesUp) {
        EXPECT_EQ(digests, all);
        return;
    }
    // What reached the disk: the frames before it filled up, less at most
    // the cluster the muxer still held.
    ASSERT_GE(digests.size(), 20u - 13u);  // a cluster holds at most 500 ms
    ASSERT_LE(digests.size(), 20u);
    EXPECT_EQ(digests, slice(all, 0, digests.size()));
}

INSTANTIATE_TEST_SUITE_P(Disks, FullDisk,
                         ::testing::Values(FullDiskCase{"FreesUp", true}, FullDiskCase{"StaysFull", false}),
                         [](const auto& info) { return std::string(info.param.name); });

int64_t monotonicMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A recorder killed at any moment leaves a file that reads to at most a
// second before the kill: a child writes the clip in a loop at the camera's
// pace and tells each frame's time in the file; the parent kills it at
// seeded random moments.
TEST_F(StreamFile, KilledRecorderLeavesAFileReadableToTheLastSecond)
{
    PacketSource source(ClipRecipe{}.withAudio("aac"));
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> killAfterMs(250, 1000);
    const auto clip = frameDigests(source.file());
    for (int round = 0; round < 4; ++round) {
        const fs::path name = folder.path() / ("killed_" + std::to_string(round) + ".mkv");
        int reports[2];
        ASSERT_EQ(::pipe(reports), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(reports[0]);
            auto recording = StreamRecording::create(name);
            const int64_t begin = monotonicMs();
            int64_t loopStart = 0;
            for (int64_t shownMs = 0;; loopStart += 30 * 40) {
                for (const AVPacket* p : source.packets()) {
                    const int64_t due = loopStart + source.dueMs(*p);
                    while (monotonicMs() - begin < due) ::usleep(2000);
                    const bool video = source.isVideo(*p);
                    if (recording->write(source.input(), *p, startMs + due) != Write::Written || !video) continue;
                    shownMs = due;
                    if (::write(reports[1], &shownMs, sizeof shownMs) != sizeof shownMs) ::_exit(1);
                }
            }
        }
        ::close(reports[1]);
        int64_t lastMs = -1;
        ASSERT_EQ(::read(reports[0], &lastMs, sizeof lastMs), static_cast<ssize_t>(sizeof lastMs));
        ::usleep(static_cast<useconds_t>(killAfterMs(random)) * 1000);
        ::kill(child, SIGKILL);
        int64_t n = 0;
        while (::read(reports[0], &n, sizeof n) == sizeof n) lastMs = n;  // reports sent before the kill
        ::close(reports[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        const ProbedFile probe = probeFile(name);
        ASSERT_TRUE(probe.ok) << "round " << round;
        EXPECT_EQ(probe.tracks[0].codecName, "h264");
        const auto video = probe.of("video");
        ASSERT_FALSE(video.empty()) << "round " << round;
        expectRising(video, true, "video");
        EXPECT_GE(video.back().pts, lastMs - 1000) << "round " << round << ": file ends " << lastMs - video.back().pts
                                                   << " ms before the last frame written";
        EXPECT_LE(video.back().pts, lastMs) << "round " << round;
        // Every frame up to there decodes, in order.
        const auto digests = frameDigests(name);
        EXPECT_EQ(digests.size(), video.size()) << "round " << round;
        for (size_t k = 0; k < digests.size(); ++k) EXPECT_EQ(digests[k], clip[k % clip.size()]) << k;
    }
}

}  // namespace

// End to end with RTSP cameras: the real program without a window records
// the simulator's H.264 and H.265 cameras as they stream, every picture in
// order; a kill at any moment costs at most the last second; no output ever
// carries a camera's login.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <random>

#include "RtspSimulator.h"
#include "support/Ffprobe.h"
#include "support/FrameCodes.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

sim::RtspCameraConfig rtspCamera(sim::VideoCodec codec, bool sub)
{
    sim::RtspCameraConfig c;
    c.codec = codec;
    c.width = 640;
    c.height = 360;
    c.fps = 15;
    c.gop = 15;
    if (sub) {
        c.subWidth = 320;
        c.subHeight = 180;
    }
    return c;
}

int64_t wallMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// ffprobe's "key=value" lines for `entries` of `file`.
std::string probeEntries(const fs::path& file, const std::string& entries)
{
    return runCommand("ffprobe -v error -show_entries " + entries + " -of default=nw=1 '" + file.string() +
                      "' 2>&1");
}

// The file's creation_time (when its first picture arrived), ms since 1970.
int64_t creationMs(const fs::path& file)
{
    const std::string text = probeEntries(file, "format_tags=creation_time");
    const size_t at = text.find("creation_time=");
    if (at == std::string::npos) return -1;
    std::tm tm{};
    int micros = 0;
    if (std::sscanf(text.c_str() + at + 14, "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &micros) < 6)
        return -1;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<int64_t>(timegm(&tm)) * 1000 + micros / 1000;
}

struct RtspRun : ::testing::Test {
    TempFolder folder;
    sim::RtspSimulator simulator;
    fs::path program = folder.path() / "program";
    fs::path err = folder.path() / "stderr.txt";

    int serve(const sim::RtspCameraConfig& config)
    {
        std::string error;
        const int port = simulator.add(config, error);
        EXPECT_NE(port, 0) << error;
        return port;
    }
    static ProgramCamera rtsp(const std::string& name, int port, bool sub)
    {
        ProgramCamera c(name, port);
        c.mainPath = "/main";
        if (sub) c.subPath = "/sub";
        return c;
    }
    // Waits until every camera's first recording holds at least `bytes`.
    bool waitForRecordings(const std::vector<std::string>& names, uintmax_t bytes)
    {
        for (int i = 0; i < 1500; ++i) {
            bool all = true;
            for (const auto& name : names) {
                const auto files = recordingsIn(program / "video" / name, ".mkv");
                all = all && !files.empty() && fs::file_size(files.front()) >= bytes;
            }
            if (all) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void TearDown() override { simulator.stop(); }
};

}  // namespace

TEST_F(RtspRun, RecordsEveryPictureOfH264AndH265CamerasAsTheyStream)
{
    sim::RtspCameraConfig withSound = rtspCamera(sim::VideoCodec::H265, false);
    withSound.audio = true;
    const int gate = serve(rtspCamera(sim::VideoCodec::H264, true));
    const int yard = serve(withSound);
    ASSERT_EQ(prepareProgramFolder(program, {rtsp("Gate", gate, true), rtsp("Yard", yard, false)}, CX_PROGRAM_FOLDER),
              "");
    pid_t pid = spawnIn(program, {CORVANEX_BINARY, "--no-window"}, err);
    ChildGuard guard{pid};
    ASSERT_TRUE(waitForRecordings({"Gate", "Yard"}, 1)) << readText(err);
    std::this_thread::sleep_for(4s);
    ASSERT_NE(stopWithSigterm(pid), -1);
    EXPECT_EQ(readText(err), "");

    struct Expected {
        const char* name;
        const char* codec;
        bool sound;
    } expected[] = {{"Gate", "h264", false}, {"Yard", "hevc", true}};
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const auto files = recordingsIn(program / "video" / e.name, ".mkv");
        ASSERT_EQ(files.size(), 1u);
        const std::string streams = probeEntries(files[0], "stream=codec_name,width,height");
        EXPECT_NE(streams.find(std::string("codec_name=") + e.codec), std::string::npos) << streams;
        EXPECT_NE(streams.find("width=640"), std::string::npos) << streams;
        EXPECT_EQ(streams.find("pcm_mulaw") != std::string::npos, e.sound) << streams;
        const auto codes = frameCodesOf(files[0], 640, 360);
        EXPECT_GE(codes.size(), 50u);
        EXPECT_EQ(firstBreak(codes), -1) << "every picture, in order, none twice";
    }
}

// Killed at seeded random moments, the program leaves a file that ffprobe
// reads, its pictures in order, up to at most a second before the kill.
TEST_F(RtspRun, AKillAtAnyMomentCostsAtMostTheLastSecond)
{
    const int gate = serve(rtspCamera(sim::VideoCodec::H264, false));
    ASSERT_EQ(prepareProgramFolder(program, {rtsp("Gate", gate, false)}, CX_PROGRAM_FOLDER), "");
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> moment(1000, 3000);
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const size_t before = recordingsIn(program / "video" / "Gate", ".mkv").size();
        pid_t pid = spawnIn(program, {CORVANEX_BINARY, "--no-window"}, err);
        ChildGuard guard{pid};
        for (int i = 0; i < 1000 && recordingsIn(program / "video" / "Gate", ".mkv").size() == before; ++i)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
        const int64_t killedAt = wallMs();
        ::kill(pid, SIGKILL);
        ASSERT_NE(waitForExit(pid, 5s), -1);
        pid = -1;

        const auto files = recordingsIn(program / "video" / "Gate", ".mkv");
        ASSERT_EQ(files.size(), before + 1) << readText(err);
        const fs::path file = files.back();  // names sort by time only within a day: take the new one
        const auto codes = frameCodesOf(file, 640, 360);
        ASSERT_GE(codes.size(), 5u);
        EXPECT_EQ(firstBreak(codes), -1);
        const int64_t first = creationMs(file);
        ASSERT_GT(first, 0) << probeEntries(file, "format_tags");
        const int64_t lastShown = first + static_cast<int64_t>(*codes.back() - *codes.front()) * 1000 / 15;
        EXPECT_GE(lastShown, killedAt - 1000) << "kept up to " << killedAt - lastShown << " ms before the kill";
    }
}

// With debug output on, neither the messages of a refused login nor any
// other line of the program carries a login or password.
TEST_F(RtspRun, NoOutputCarriesALoginOrPassword)
{
    sim::RtspCameraConfig locked = rtspCamera(sim::VideoCodec::H264, true);
    locked.auth = sim::Auth::Digest;
    locked.user = "operator7";
    locked.password = "Sec:r3t/pw";
    const int port = serve(locked);
    ProgramCamera right = rtsp("Gate", port, true);
    right.login = locked.user;
    right.password = locked.password;
    ProgramCamera wrong = rtsp("Door", port, false);
    wrong.login = locked.user;
    wrong.password = "Wr0ng:pw";
    ASSERT_EQ(prepareProgramFolder(program, {right, wrong}, CX_PROGRAM_FOLDER), "");
    const fs::path out = folder.path() / "stdout.txt";
    pid_t pid = spawnIn(program, {CORVANEX_BINARY, "--no-window", "--debug"}, err, out);
    ChildGuard guard{pid};
    ASSERT_TRUE(waitForRecordings({"Gate"}, 1)) << readText(err);
    std::this_thread::sleep_for(2s);
    ASSERT_NE(stopWithSigterm(pid), -1);

    const std::string output = readText(err) + readText(out);
    EXPECT_NE(output.find("Door"), std::string::npos) << "the refused login is told:\n" << output;
    EXPECT_NE(output.find("SQL_SUCCESS"), std::string::npos) << "debug lines are on:\n" << output;
    for (const char* secret : {"operator7", "Sec:r3t", "Sec%3Ar3t", "Wr0ng", "r3t%2Fpw"})
        EXPECT_EQ(output.find(secret), std::string::npos) << secret << " in:\n" << output;
}

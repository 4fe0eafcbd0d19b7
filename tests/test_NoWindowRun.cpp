// End to end: the real program without a window, in a program folder made
// by the folder tool, with simulated cameras and a schedule that covers the
// current minute. It records, stays quiet, and SIGTERM ends it within 2 s
// with every recording complete.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "CameraSimulator.h"
#include "Schedule.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "support/AviReader.h"
#include "support/Ffprobe.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Runs `argv` in `folder` with standard error into `errFile`; its pid.
pid_t spawnIn(const fs::path& folder, const std::vector<std::string>& argv, const fs::path& errFile)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err >= 0) ::dup2(err, 2);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::setenv("CORVANEX_LOCK_DIR", folder.c_str(), 1);  // other runs of the suite hold their own lock
        ::unsetenv("CORVANEX_DEBUG");
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// Waits at most `limit` for `pid`; its wait status, or -1 when it still runs.
int waitFor(pid_t pid, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(5ms);
    }
    return -1;
}

std::string readText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> recordings(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".avi") files.push_back(e.path());
    return files;
}

// "HH:MM" of the local time `seconds`.
std::string label(std::time_t seconds)
{
    std::tm t{};
    ::localtime_r(&seconds, &t);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", t.tm_hour, t.tm_min);
    return text;
}

}  // namespace

TEST(NoWindowRun, RecordsByTheScheduleAndEndsOnSigtermWithFilesComplete)
{
    TempFolder folder;
    sim::CameraSimulator simulator;
    sim::CameraConfig camera;
    camera.kind = sim::CameraKind::Stream;
    camera.path = "/axis-cgi/mjpg/video.cgi?showlength=1";
    camera.fps = 25;
    const int front = simulator.add(camera);
    sim::CameraConfig snapshot = camera;
    snapshot.kind = sim::CameraKind::Snapshot;
    snapshot.path = "/netcam.jpg";
    snapshot.fps = 10;
    const int yard = simulator.add(snapshot);
    ASSERT_NE(front, 0);
    ASSERT_NE(yard, 0);

    const fs::path program = folder.path() / "program";
    const fs::path err = folder.path() / "stderr.txt";
    const pid_t tool = spawnIn(folder.path(),
                               {CX_PROGRAM_FOLDER, program.string(), "--camera", "Front",
                                "127.0.0.1", std::to_string(front), "101", "--camera", "Yard", "127.0.0.1",
                                std::to_string(yard), "200"},
                               err);
    const int toolStatus = waitFor(tool, 30s);
    ASSERT_TRUE(WIFEXITED(toolStatus) && WEXITSTATUS(toolStatus) == 0) << readText(err);

    // Schedule mode, both cameras in it, a window around now on every day.
    Settings settings;
    settings.scheduleMode = 1;
    settings.scheduleRecord[0] = 1;
    settings.scheduleRecord[1] = 1;
    ASSERT_TRUE(saveSettings(settings, program));
    const std::time_t now = std::time(nullptr);
    ScheduleTable schedule;
    schedule.labels[0] = label(now - 60);
    schedule.labels[1] = label(now + 600);
    for (int day = 0; day < 7; ++day) {
        schedule.week.index[static_cast<size_t>(2 * day)] = 0;
        schedule.week.index[static_cast<size_t>(2 * day + 1)] = 1;
    }
    ASSERT_TRUE(saveSchedule(program, schedule));

    const pid_t pid = spawnIn(program, {CORVANEX_BINARY, "--no-window"}, err);
    ASSERT_GT(pid, 0);
    // Recordings appear and grow.
    auto recordedBytes = [&] {
        uintmax_t n = 0;
        for (const char* name : {"Front", "Yard"})
            for (const auto& f : recordings(program / "video" / name)) n += fs::file_size(f);
        return n;
    };
    bool recording = false;
    for (int i = 0; i < 1500 && !recording; ++i) {
        std::this_thread::sleep_for(10ms);
        recording = recordings(program / "video" / "Front").size() == 1 &&
                    recordings(program / "video" / "Yard").size() == 1 && recordedBytes() > 200'000;
    }
    ASSERT_TRUE(recording) << readText(err);
    ASSERT_EQ(waitFor(pid, 0ms), -1) << "the program ended by itself: " << readText(err);

    ::kill(pid, SIGTERM);
    const auto t0 = std::chrono::steady_clock::now();
    const int status = waitFor(pid, 5s);
    const auto took = std::chrono::steady_clock::now() - t0;
    if (status == -1) ::kill(pid, SIGKILL), waitFor(pid, 5s);
    ASSERT_NE(status, -1) << "still running 5 s after SIGTERM";
    EXPECT_LT(took, 2s);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // Quiet: no database traces, no messages.
    EXPECT_EQ(readText(err), "");
    // Closed properly: the index is there and an independent reader agrees.
    for (const char* name : {"Front", "Yard"}) {
        SCOPED_TRACE(name);
        const auto files = recordings(program / "video" / name);
        ASSERT_EQ(files.size(), 1u);
        const AviFile avi = readAvi(files[0]);
        EXPECT_GT(avi.indexEntries, 0u);
        const ProbedStream probe = ffprobe(files[0]);
        EXPECT_TRUE(probe.ok);
        EXPECT_EQ(probe.codecName, "mjpeg");
        EXPECT_GT(probe.packets, 5);
    }
}

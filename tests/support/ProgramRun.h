#pragma once
// Running the real program in a prepared program folder: the folder tool,
// a schedule around now, the process itself and what /proc tells of it.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Schedule.h"
#include "Settings.h"
#include "SettingsFile.h"

namespace cx::test {

// Runs `argv` in `folder` with standard error into `errFile`; its pid. The
// single-instance lock is the folder's own, so runs do not see each other.
inline pid_t spawnIn(const std::filesystem::path& folder, const std::vector<std::string>& argv,
                     const std::filesystem::path& errFile, const std::filesystem::path& outFile = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (err >= 0) ::dup2(err, 2);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        const int out = outFile.empty() ? -1 : ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out >= 0 ? out : devnull, 1);
        ::unsetenv("CORVANEX_DEBUG");
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// Ends a still running child when the test leaves early.
struct ChildGuard {
    pid_t& pid;
    ~ChildGuard()
    {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

// Waits at most `limit` for `pid`; its wait status, or -1 while it runs.
inline int waitForExit(pid_t pid, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    do {
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < until);
    return -1;
}

// Sends SIGTERM and expects the program to end within 2 s with code 0;
// `pid` is -1 afterwards. The time it took, in milliseconds (-1: never).
inline long long stopWithSigterm(pid_t& pid)
{
    ::kill(pid, SIGTERM);
    const auto t0 = std::chrono::steady_clock::now();
    const int status = waitForExit(pid, std::chrono::seconds(5));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_NE(status, -1) << "still running 5 s after SIGTERM";
    if (status == -1) return -1;
    pid = -1;
    EXPECT_LT(took.count(), 2000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return took.count();
}

inline std::string readText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The ".avi" files of a folder.
inline std::vector<std::filesystem::path> recordingsIn(const std::filesystem::path& folder,
                                                       const std::string& extension = ".avi")
{
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().extension() == extension) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

struct ProgramCamera {
    ProgramCamera(std::string n, int p, int t = 101, std::string l = {}, std::string pw = {})
        : name(std::move(n)), port(p), type(t), login(std::move(l)), password(std::move(pw))
    {
    }
    std::string name;
    int port = 0;
    int type = 101;
    std::string login;
    std::string password;
    // An RTSP camera when not empty: its stream paths (type is then ignored).
    std::string mainPath;
    std::string subPath;
};

// Makes `folder` with the folder tool and the default skin, registers the
// cameras, and sets up schedule mode with every camera in it, recording
// all day every day. Empty on success, else
// what went wrong.
inline std::string prepareProgramFolder(const std::filesystem::path& folder, const std::vector<ProgramCamera>& cameras,
                                        const std::filesystem::path& folderTool)
{
    // The tool's --record-all-day: schedule mode, every camera in the
    // timetable, the whole day (a run across midnight records too).
    std::vector<std::string> argv{folderTool.string(), folder.string(), "--record-all-day"};
    for (const auto& c : cameras) {
        if (!c.mainPath.empty()) {
            for (const auto& a : {std::string("--rtsp-camera"), c.name, std::string("127.0.0.1"),
                                  std::to_string(c.port), c.mainPath})
                argv.push_back(a);
            for (const auto& [option, value] :
                 {std::pair{"--sub-path", c.subPath}, {"--login", c.login}, {"--password", c.password}})
                if (!value.empty()) {
                    argv.push_back(option);
                    argv.push_back(value);
                }
            continue;
        }
        for (const auto& a : {std::string("--camera"), c.name, std::string("127.0.0.1"), std::to_string(c.port),
                              std::to_string(c.type)})
            argv.push_back(a);
        if (!c.login.empty()) {
            argv.push_back(c.login);
            argv.push_back(c.password);
        }
    }
    const std::filesystem::path err = folder.parent_path() / (folder.filename().string() + "-tool.txt");
    const int status = waitForExit(spawnIn(folder.parent_path(), argv, err), std::chrono::seconds(30));
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "folder tool: " + readText(err);
    return {};
}

// CPU seconds (user + system) the process has used so far.
inline double processCpuSeconds(pid_t pid)
{
    const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // After the name: state is field 3; utime and stime are 14 and 15.
    for (int k = 3; k <= 15 && fields >> field; ++k) {
        if (k == 14) utime = std::stoull(field);
        if (k == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A "VmHWM"-style line of /proc/PID/status, in MiB; -1 when missing.
inline double processMemoryMiB(pid_t pid, const std::string& key = "VmHWM")
{
    std::istringstream status(readText("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    return -1;
}

}  // namespace cx::test

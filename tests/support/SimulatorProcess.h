#pragma once
// The camera simulator (cx-camsim) as a child process, so what it costs and
// allocates is not counted with the program under test; the ports of its
// cameras read from its first lines. Ended with SIGTERM when dropped.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace cx::test {

struct SimulatorProcess {
    pid_t pid = -1;
    std::vector<int> ports;

    // `cameras`: one cx-camsim "--camera" description each; `options` go
    // before them (such as "--seconds N", an end of its own).
    SimulatorProcess(const std::string& camsim, const std::vector<std::string>& cameras,
                     const std::vector<std::string>& options = {})
    {
        int out[2];
        if (::pipe(out) != 0) return;
        // The thread-sanitizer run takes a simulator built without it
        // (GStreamer's threads are not instrumented and would be reported).
        const char* other = std::getenv("CX_TEST_CAMSIM");
        std::vector<std::string> args = {other != nullptr && *other != '\0' ? std::string(other) : camsim};
        args.insert(args.end(), options.begin(), options.end());
        for (const auto& c : cameras) {
            args.push_back("--camera");
            args.push_back(c);
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        FILE* in = ::fdopen(out[0], "r");
        char line[256];
        while (ports.size() < cameras.size() && std::fgets(line, sizeof line, in)) {
            int index = 0, port = 0;
            if (std::sscanf(line, "camera %d port %d", &index, &port) == 2) ports.push_back(port);
        }
        std::fclose(in);
    }
    ~SimulatorProcess()
    {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
};

}  // namespace cx::test

#pragma once
// A TCP front for a simulated RTSP camera that misbehaves in ways the RTSP
// server behind it never would: it never answers, it stops at PLAY, or it
// answers with random bytes. One thread accepts, one serves each
// connection; stop() ends them all.

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "SimulatedRtspCamera.h"

namespace cx::sim {

class RtspFaultProxy {
public:
    // `backendPort`: the RTSP server on 127.0.0.1 that StallAfterSetup
    // passes requests to (the other faults need none).
    RtspFaultProxy(RtspFault fault, int backendPort);
    ~RtspFaultProxy();
    RtspFaultProxy(const RtspFaultProxy&) = delete;
    RtspFaultProxy& operator=(const RtspFaultProxy&) = delete;

    // Listens on 127.0.0.1:port (0: any free port); the port, or 0 when it cannot.
    int listen(int port);
    void stop();

private:
    void acceptLoop();
    void serve(int fd);
    void relayUntilPlay(int client);

    RtspFault fault_;
    int backendPort_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::vector<std::thread> threads_;  // guarded by lock_
    std::vector<int> open_;             // connections, guarded by lock_
};

}  // namespace cx::sim

#pragma once
// Serves any number of simulated cameras on 127.0.0.1, each on its own
// port. Every thread ends when stop() is called or the object goes away.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "FrameSource.h"
#include "SimulatedCamera.h"

namespace cx::sim {

class CameraSimulator {
public:
    CameraSimulator();
    ~CameraSimulator();
    CameraSimulator(const CameraSimulator&) = delete;
    CameraSimulator& operator=(const CameraSimulator&) = delete;

    // Starts serving one camera; returns its port (0 when the port could not be opened).
    int add(const CameraConfig& config);
    // Stops every camera and closes every connection.
    void stop();

    // Frames sent by camera `index` (in the order added), all connections.
    uint64_t framesSent(size_t index) const;
    // Connections camera `index` accepted.
    uint64_t connections(size_t index) const;

private:
    struct Camera;
    void acceptLoop(Camera& camera);
    void serve(Camera& camera, int fd);
    void serveHttp(Camera& camera, int fd);
    void serveProtocol(Camera& camera, int fd);

    std::vector<std::unique_ptr<Camera>> cameras_;
    std::atomic<bool> stopping_{false};
    std::mutex threadsLock_;
    std::vector<std::thread> threads_;  // guarded by threadsLock_
    std::vector<int> openSockets_;      // guarded by threadsLock_
};

}  // namespace cx::sim

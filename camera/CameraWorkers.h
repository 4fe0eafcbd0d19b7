#pragma once
// One worker thread per started camera slot. Workers fetch frames and hand
// them to the frame sink; a camera that fails or drops its connection is
// asked again after a back-off (1 s, doubling up to 30 s, reset by a good
// frame). Every wait inside a worker is sliced, so stopAll() ends them all
// within a moment.

#include <array>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "AppState.h"
#include "HttpImageClient.h"
#include "ProtocolCamera.h"

namespace cx {

class Clock;
class FrameSink;
class Notifier;

struct WorkerTiming {
    HttpTimeouts http;
    ProtocolTimeouts protocol;
    int backoffStartMs = 1000;
    int backoffMaxMs = 30000;
};

class CameraWorkers {
public:
    CameraWorkers(AppState& state, FrameSink& sink, Notifier& notifier, const Clock& clock, WorkerTiming timing = {});
    ~CameraWorkers();
    CameraWorkers(const CameraWorkers&) = delete;
    CameraWorkers& operator=(const CameraWorkers&) = delete;

    // Builds the request paths and starts every configured camera.
    void ConnectAllCameras();
    // Starts the slot's worker unless one runs; never two on one slot.
    void StartCamera(int slot);
    // Raises stopAllCameras and waits until every worker has ended (on the
    // UI thread, dispatching events meanwhile); true when they all ended
    // within `timeout`.
    bool stopAll(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    // Called on the starting thread once the last configured slot was started.
    std::function<void()> lastCameraStarted;

private:
    void HttpWorker(int slot);
    void ProtocolWorker(int slot);
    // Marks the slot offline and waits `delayMs` unless `endWait` says to
    // stop; doubles the delay for next time. False when the wait was ended.
    bool backOff(int slot, int& delayMs, const std::function<bool()>& endWait);
    void setConnection(int slot, ConnectionState s);
    void finish(int slot);

    AppState& state_;
    FrameSink& sink_;
    Notifier& notifier_;
    const Clock& clock_;
    WorkerTiming timing_;
    std::mutex threadsLock_;
    std::array<std::thread, maxCameras> threads_;  // guarded by threadsLock_
};

}  // namespace cx

#pragma once
// One worker thread per started camera slot. Workers fetch frames and hand
// them to the frame sink; a camera that fails or drops its connection is
// asked again after a back-off (1 s, doubling up to 30 s, reset by a good
// frame), waited on the injected clock. Every wait inside a worker is
// sliced, and messages go to a notifier that never waits for the user, so
// stopAll() ends them all within a moment.

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

// Shown when the picture decoder cannot be set up; the worker then ends.
inline constexpr const char* decoderMissingHttpText = "interface is not supported\t";
inline constexpr const char* decoderMissingProtocolText = "IPicture interface is not supported\t";

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
    // Ends the slot's worker at its next frame (or wait).
    void stopCamera(int slot);
    // Ends the slot's connection and connects again with the table's
    // current entry; starts the worker if none runs.
    void restartCamera(int slot);
    // Starts slots whose restart request outlived their worker (a request
    // that came just as the worker ended). The engine's tick calls it.
    void serviceRestarts();
    // Raises stopAllCameras and waits until every worker has ended, at most
    // `timeout` whatever the event loop does (no worker waits for the UI
    // thread). True when all ended; threads that ended are joined.
    bool stopAll(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // The slot's worker runs.
    bool running(int slot) const;

    // Called on the starting thread once the last configured slot was started.
    std::function<void()> lastCameraStarted;
    // Called on the worker's thread when the slot's connection state
    // changes; must not block. Set before cameras start.
    std::function<void(int slot, ConnectionState state)> connectionChanged;

private:
    void HttpWorker(int slot);
    void ProtocolWorker(int slot);
    // One run of a worker, until it ends; true when it ended because the
    // grid was being rebuilt.
    bool runHttpWorker(int slot);
    bool runProtocolWorker(int slot);
    // Marks the slot offline and waits `delayMs` unless `endWait` says to
    // stop; doubles the delay for next time. False when the wait was ended.
    bool backOff(int slot, int& delayMs, const std::function<bool()>& endWait);
    void setConnection(int slot, ConnectionState s);
    // Ends the slot's worker, unless it ended for a grid rebuild that is
    // over and left the slot a pane: then false, and the worker connects
    // again. Decided under threadsLock_, so a StartCamera that found the
    // worker still running during the rebuild never leaves the slot dark.
    bool finish(int slot, bool endedByRebuild);

    AppState& state_;
    FrameSink& sink_;
    Notifier& notifier_;
    const Clock& clock_;
    WorkerTiming timing_;
    void joinEnded();

    mutable std::mutex threadsLock_;
    std::array<std::thread, maxCameras> threads_;  // guarded by threadsLock_
};

}  // namespace cx

#pragma once
// One camera slot's controller: its state machine (SlotLife), a command
// queue of one pending command, and the thread that runs the slot's
// connection. Commands come from the engine's thread and return at once; the
// connection's thread sees a command that ends it at its next wait (at
// most 50 ms). The thread is made at the first command and lives until
// Exit, so starting and stopping a camera never races a thread's end.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "CameraTable.h"
#include "HttpImageClient.h"
#include "ProtocolCamera.h"
#include "RtspCamera.h"
#include "SlotLife.h"

namespace cx {

class AppState;
class Clock;
class FrameSink;
class Notifier;

// Shown when the picture decoder cannot be set up; the connection then ends.
inline constexpr const char* decoderMissingHttpText = "interface is not supported\t";
inline constexpr const char* decoderMissingProtocolText = "IPicture interface is not supported\t";

struct WorkerTiming {
    HttpTimeouts http;
    ProtocolTimeouts protocol;
    RtspTiming rtsp;
    int backoffStartMs = 1000;
    int backoffMaxMs = 30000;
};

class CameraController {
public:
    CameraController(int slot, AppState& state, FrameSink& sink, Notifier& notifier, const Clock& clock,
                     const WorkerTiming& timing);
    ~CameraController();  // Exit, then joins (every wait of the thread is bounded)
    CameraController(const CameraController&) = delete;
    CameraController& operator=(const CameraController&) = delete;

    // Start, Stop, Restart, ViewOff or Exit; from the engine's thread only
    // (it alone makes and joins the thread), never waits for the connection.
    void command(SlotInput input);
    SlotState state() const { return state_.load(); }
    // Joins the thread if it has ended (after Exit); true when no thread is left.
    bool joinIfEnded();

    // Called on whichever thread changed the state, under the controller's
    // lock: must not block or call back in. Set before the first command.
    std::function<void(int slot, SlotState state)> stateChanged;

private:
    void run();
    bool interrupted() const { return interrupt_.load(std::memory_order_relaxed); }
    // A connection event from the slot's own thread.
    void event(SlotInput input);
    void setState(SlotState s);  // under lock_
    void runConnection();
    void runHttp(const CameraEntry& camera);
    void runProtocol();
    void runRtsp();
    // Waits `delayMs` (doubled for next time) unless a command ends it;
    // false when one did.
    bool backOff(int& delayMs);

    const int slot_;
    AppState& appState_;
    FrameSink& sink_;
    Notifier& notifier_;
    const Clock& clock_;
    const WorkerTiming timing_;

    mutable std::mutex lock_;  // guards everything below but the atomics; before postLock_
    std::condition_variable wake_;
    std::atomic<SlotState> state_{SlotState::Idle};
    SlotInput pending_ = SlotInput::Stop;  // the command that ends the running connection
    bool connectWanted_ = false;
    bool keepsRunningWithoutView_ = false;  // the running connection is a snapshot camera's
    std::atomic<bool> interrupt_{false};   // a command ends the running connection
    std::thread thread_;
    std::atomic<bool> threadEnded_{false};
};

}  // namespace cx

#pragma once
// The camera slots' controllers, one per slot (CameraController): they
// fetch frames and hand them to the frame sink; a camera that fails or
// drops its connection is asked again after a back-off (1 s, doubling up to
// 30 s, reset by a good frame), waited on the injected clock. Every wait
// inside a connection is sliced, and messages go to a notifier that never
// waits for the user, so stopAll() ends them all within a moment.

#include <array>
#include <chrono>
#include <functional>
#include <memory>

#include "AppState.h"
#include "CameraController.h"

namespace cx {

class Clock;
class FrameSink;
class Notifier;

class CameraWorkers {
public:
    // `stateChanged` is called whenever a slot's state changes, on the
    // thread that changed it; it must not block.
    CameraWorkers(AppState& state, FrameSink& sink, Notifier& notifier, const Clock& clock, WorkerTiming timing = {},
                  std::function<void(int slot, SlotState state)> stateChanged = {});
    ~CameraWorkers();
    CameraWorkers(const CameraWorkers&) = delete;
    CameraWorkers& operator=(const CameraWorkers&) = delete;

    // Builds the request paths and starts every configured camera.
    void ConnectAllCameras();
    // Connects the slot unless it is connected; nothing for a slot not
    // configured, or for a stream or protocol camera whose live view is off.
    void StartCamera(int slot);
    void stopCamera(int slot);
    // Lets go of the connection and connects again with the table's current row.
    void restartCamera(int slot);
    // Live view switched off: a stream or protocol camera lets go and its pane turns black.
    void viewOff(int slot);
    // Tells every slot the program ends and waits until every connection
    // has ended, at most `timeout` whatever the event loop does (no
    // connection waits for the UI thread). True when all ended.
    bool stopAll(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // The slot is connected or connecting (not idle, stopping or ended).
    bool running(int slot) const;
    SlotState slotState(int slot) const;

private:
    // The slot has a row, and its live view is on or it is a snapshot camera.
    bool mayConnect(int slot) const;

    AppState& state_;
    std::array<std::unique_ptr<CameraController>, maxCameras> controllers_;
};

}  // namespace cx

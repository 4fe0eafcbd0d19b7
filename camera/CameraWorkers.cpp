#include "CameraWorkers.h"

#include <algorithm>
#include <thread>

#include "RequestPaths.h"

namespace cx {

CameraWorkers::CameraWorkers(AppState& state, FrameSink& sink, Notifier& notifier, const Clock& clock,
                             WorkerTiming timing, std::function<void(int slot, SlotState state)> stateChanged)
    : state_(state)
{
    for (int slot = 0; slot < maxCameras; ++slot) {
        auto& c = controllers_[static_cast<size_t>(slot)];
        c = std::make_unique<CameraController>(slot, state, sink, notifier, clock, timing);
        c->stateChanged = stateChanged;
    }
}

CameraWorkers::~CameraWorkers()
{
    stopAll();
    // Every wait of a connection is bounded, so the controllers' joins end too.
    for (auto& c : controllers_) c.reset();
}

void CameraWorkers::ConnectAllCameras()
{
    state_.highResolutionCounter = 1;  // the steady clock is always there
    BuildRequestPaths();
    for (int slot = 0; slot < state_.cameraCount() && slot < maxCameras; ++slot) StartCamera(slot);
}

void CameraWorkers::StartCamera(int slot)
{
    if (!validSlot(slot) || !state_.cameraEntry(slot)) return;
    controllers_[static_cast<size_t>(slot)]->command(SlotInput::Start);
}

void CameraWorkers::stopCamera(int slot)
{
    if (validSlot(slot)) controllers_[static_cast<size_t>(slot)]->command(SlotInput::Stop);
}

void CameraWorkers::restartCamera(int slot)
{
    if (validSlot(slot)) controllers_[static_cast<size_t>(slot)]->command(SlotInput::Restart);
}

void CameraWorkers::viewOff(int slot)
{
    if (validSlot(slot)) controllers_[static_cast<size_t>(slot)]->command(SlotInput::ViewOff);
}

bool CameraWorkers::stopAll(std::chrono::milliseconds timeout)
{
    for (auto& c : controllers_) c->command(SlotInput::Exit);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto allEnded = [this] {
        return std::all_of(controllers_.begin(), controllers_.end(), [](const auto& c) { return c->joinIfEnded(); });
    };
    // No connection waits for this thread (messages are queued), so plain
    // waiting is safe; the deadline holds whatever state the event loop is in.
    while (!allEnded()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool CameraWorkers::running(int slot) const
{
    const SlotState s = slotState(slot);
    return s == SlotState::Connecting || s == SlotState::Live || s == SlotState::BackingOff;
}

SlotState CameraWorkers::slotState(int slot) const
{
    return validSlot(slot) ? controllers_[static_cast<size_t>(slot)]->state() : SlotState::Idle;
}

}  // namespace cx

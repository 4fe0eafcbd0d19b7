#include "CameraWorkers.h"

#include <algorithm>
#include <thread>

#include "CameraModels.h"
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

bool CameraWorkers::mayConnect(int slot) const
{
    const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
    if (!camera) return false;
    // With its live view off a stream or protocol camera stays disconnected
    // (it would hold one of the camera's few client places for nothing); a
    // snapshot camera goes on recording.
    // Any value but 0 counts as on, as a damaged settings file may hold.
    return state_.settings.monitorEnabled[static_cast<size_t>(slot)].load() != 0 ||
           (camera->type != binaryProtocolType && acquisitionMethod(camera->type) == AcquisitionMethod::Snapshot);
}

void CameraWorkers::StartCamera(int slot)
{
    if (!validSlot(slot) || !mayConnect(slot)) return;
    controllers_[static_cast<size_t>(slot)]->command(SlotInput::Start);
}

void CameraWorkers::stopCamera(int slot)
{
    if (validSlot(slot)) controllers_[static_cast<size_t>(slot)]->command(SlotInput::Stop);
}

void CameraWorkers::restartCamera(int slot)
{
    if (!validSlot(slot)) return;
    controllers_[static_cast<size_t>(slot)]->command(mayConnect(slot) ? SlotInput::Restart : SlotInput::Stop);
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

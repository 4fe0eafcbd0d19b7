#include "SlotLife.h"

namespace cx {

namespace {
bool connected(SlotState s)
{
    return s == SlotState::Connecting || s == SlotState::Live || s == SlotState::BackingOff;
}
}  // namespace

SlotStep slotStep(SlotState state, SlotInput input, bool keepsRunningWithoutView, SlotInput pending)
{
    if (state == SlotState::Ended) return {SlotState::Ended, SlotAction::None};
    switch (input) {
    case SlotInput::Start:
        // Never a second connection on one slot.
        if (state == SlotState::Idle) return {SlotState::Connecting, SlotAction::Connect};
        return {state, SlotAction::None};
    case SlotInput::Restart:
        if (state == SlotState::Idle) return {SlotState::Connecting, SlotAction::Connect};
        if (connected(state)) return {SlotState::Stopping, SlotAction::Disconnect};
        return {state, SlotAction::None};
    case SlotInput::Stop:
        if (connected(state)) return {SlotState::Stopping, SlotAction::Disconnect};
        return {state, SlotAction::None};
    case SlotInput::ViewOff:
        if (connected(state) && !keepsRunningWithoutView) return {SlotState::Stopping, SlotAction::Disconnect};
        return {state, SlotAction::None};
    case SlotInput::Exit:
        if (connected(state) || state == SlotState::Stopping) return {SlotState::Stopping, SlotAction::Disconnect};
        return {SlotState::Ended, SlotAction::None};
    case SlotInput::Picture:
        if (state == SlotState::Connecting || state == SlotState::BackingOff) return {SlotState::Live, SlotAction::None};
        return {state, SlotAction::None};
    case SlotInput::Broken:
        if (state == SlotState::Connecting || state == SlotState::Live) return {SlotState::BackingOff, SlotAction::None};
        return {state, SlotAction::None};
    case SlotInput::RetryDue:
        if (state == SlotState::BackingOff) return {SlotState::Connecting, SlotAction::None};
        return {state, SlotAction::None};
    case SlotInput::Dead:
        if (connected(state)) return {SlotState::Idle, SlotAction::None};
        return {state, SlotAction::None};
    case SlotInput::Released:
        if (state != SlotState::Stopping) return {state, SlotAction::None};
        if (pending == SlotInput::Exit) return {SlotState::Ended, SlotAction::None};
        if (pending == SlotInput::Restart) return {SlotState::Connecting, SlotAction::Connect};
        return {SlotState::Idle, SlotAction::None};
    }
    return {state, SlotAction::None};
}

const char* slotStateName(SlotState state)
{
    switch (state) {
    case SlotState::Idle: return "idle";
    case SlotState::Connecting: return "connecting";
    case SlotState::Live: return "live";
    case SlotState::BackingOff: return "backing off";
    case SlotState::Stopping: return "stopping";
    case SlotState::Ended: return "ended";
    }
    return "?";
}

}  // namespace cx

namespace cx {

SlotInput mergePending(SlotInput pending, SlotInput next)
{
    if (pending == SlotInput::Exit || next == SlotInput::Exit) return SlotInput::Exit;
    if (next == SlotInput::Start || next == SlotInput::Restart) return SlotInput::Restart;
    if (next == SlotInput::Stop || next == SlotInput::ViewOff) return next;
    return pending;
}

}  // namespace cx

#pragma once
// Whether the engine serves a slot's camera now.

#include "Engine.h"

namespace cx::test {

// Connecting, live or waiting to try again: a connection the slot keeps up.
inline bool slotRunning(const Engine& engine, int slot)
{
    const SlotState s = engine.slotState(slot);
    return s == SlotState::Connecting || s == SlotState::Live || s == SlotState::BackingOff;
}

// Not serving its camera, nor letting go of it.
inline bool slotIdle(const Engine& engine, int slot)
{
    const SlotState s = engine.slotState(slot);
    return s == SlotState::Idle || s == SlotState::Ended;
}

}  // namespace cx::test

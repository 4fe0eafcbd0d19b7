#pragma once
// Tests reach the engine's state and database through this friend, to
// arrange what no command can (a left-over flag, a row written behind the
// engine's back) and to look at what nothing publishes. Front ends never
// do: they read the snapshot.

#include "AppState.h"
#include "CameraDatabase.h"
#include "Engine.h"

namespace cx {

struct EngineInternals {
    static AppState& state(Engine& engine) { return *engine.state_; }
    static CameraDatabase& database(Engine& engine) { return *engine.database_; }
    // Makes the snapshot anew after a test changed the state directly.
    static void publish(Engine& engine) { engine.publish(); }
};

}  // namespace cx

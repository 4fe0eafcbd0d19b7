#pragma once
// What a slot's camera connection is doing, for the window to show.

namespace cx {

enum class ConnectionState : int { Idle = 0, Connecting = 1, Live = 2, Offline = 3 };

}  // namespace cx

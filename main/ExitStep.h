#pragma once
// The exit step of both runs, with and without a window.

namespace cx {

class Engine;

// Ends every connection and closes every recording, then releases what
// start-up acquired. A camera or disk that does not let go in time is not
// waited for: the process ends at once, its file left as a crash would
// leave it, readable up to its last frame.
void runExitStep(Engine& engine);

}  // namespace cx

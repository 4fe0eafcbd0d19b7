#pragma once
// `corvanex --no-window`: the start-up sequence and the engine without any
// window, for headless recorders and end-to-end tests. Messages go to
// standard error; SIGINT and SIGTERM end the program with every recording
// closed.

namespace cx {

// Runs in the current folder (the program folder) and returns the exit code.
int runWithoutWindow(int argc, char** argv);

}  // namespace cx

#pragma once
// The program with its window: the start-up sequence wired to the engine,
// the main window run modally, then the exit step.

namespace cx {

int runWithWindow(int argc, char** argv);

}  // namespace cx

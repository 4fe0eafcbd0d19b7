// corvanex: the program. Runs the start-up sequence in the current folder
// (the program folder) and, once it returns, the exit step.
//
//   corvanex [--no-window] [--debug]
//     --no-window  no window at all: cameras record by the schedule,
//                  messages go to standard error, SIGTERM ends it
//     --debug      diagnostic lines (database statements) to standard error

#include <cstring>

#include "DebugLog.h"
#include "NoWindowRun.h"
#include "SingleInstance.h"
#include "WindowRun.h"

int main(int argc, char** argv)
{
    bool noWindow = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-window") == 0) noWindow = true;
        if (std::strcmp(argv[i], "--debug") == 0) cx::setDebugEnabled(true);
    }

    // Taken before anything else, so a second copy ends before any window.
    cx::SingleInstance instance(cx::SingleInstance::defaultLockFolder());
    if (instance.anotherRunning()) return 0;
    if (noWindow) return cx::runWithoutWindow(argc, argv);
    return cx::runWithWindow(argc, argv);
}

#include "ExitStep.h"

#include <cstdio>
#include <cstdlib>

#include "Engine.h"

namespace cx {

void runExitStep(Engine& engine)
{
    if (!engine.shutdown()) {
        std::fprintf(stderr, "Corvanex: a camera did not stop in time; ending without it\n");
        std::fflush(nullptr);
        // The engine's destructor would wait for the camera that hangs.
        std::_Exit(0);
    }
    engine.exitStep();
}

}  // namespace cx

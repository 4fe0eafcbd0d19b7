#include "FrameRate.h"

#include <cstdint>

#include "AppState.h"
#include "Clock.h"

namespace cx {

void StartFrameRate(AppState& state, int slot, const Clock& clock)
{
    if (!validSlot(slot)) return;
    state.frameRate[static_cast<size_t>(slot)].frequency = clock.steadyFrequency();
}

float MeasureFrameRate(AppState& state, int slot, const Clock& clock)
{
    if (!validSlot(slot)) return 0.0f;
    FrameRateState& f = state.frameRate[static_cast<size_t>(slot)];
    if (state.highResolutionCounter.load() == 0) return f.lastFrameRate.load(std::memory_order_relaxed);

    f.frameCounter = f.frameCounter == INT32_MAX ? 1 : f.frameCounter + 1;
    const int k = f.interval > 0 ? f.frameCounter % f.interval : 0;
    if (k == 1) {
        f.intervalStart = clock.steadyTicks();
    } else if (k == 0) {
        f.intervalEnd = clock.steadyTicks();
        if (f.frequency != 0) {
            const double elapsed = static_cast<double>(f.intervalEnd - f.intervalStart) / static_cast<double>(f.frequency);
            if (elapsed != 0.0) {
                const double rate = (f.interval - 1) / elapsed;
                f.lastFrameRate.store(rate < 0.0 ? 0.0f : static_cast<float>(rate), std::memory_order_relaxed);
            }
        }
    }
    return f.lastFrameRate.load(std::memory_order_relaxed);
}

}  // namespace cx

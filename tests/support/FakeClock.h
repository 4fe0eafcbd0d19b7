#pragma once

#include <atomic>
#include <thread>

#include "Clock.h"

namespace cx::test {

// A clock the test moves by hand. A wait moves it forward at once by the
// time waited (a back-off of 30 s costs nothing) and records the wait.
class FakeClock final : public Clock {
public:
    mutable std::atomic<int64_t> ticks{0};
    std::atomic<int64_t> frequency{1000};
    mutable std::atomic<int64_t> wall{0};
    mutable std::atomic<int64_t> wallMillis{0};  // within the second of `wall`, 0..999
    mutable std::atomic<int64_t> waitedMs{0};       // all waits added up
    mutable std::atomic<int64_t> lastWaitMs{-1};    // the latest wait asked for
    mutable std::atomic<int> waits{0};

    int64_t steadyTicks() const override { return ticks; }
    int64_t steadyFrequency() const override { return frequency; }
    int64_t now() const override { return wall; }
    int64_t nowMs() const override { return wall * 1000 + wallMillis; }
    void setWallMs(int64_t ms)
    {
        wall = ms / 1000;
        wallMillis = ms % 1000;
    }
    bool waitFor(std::chrono::milliseconds duration, const StopToken& stop) const override
    {
        if (stop && stop()) return false;
        const int64_t ms = duration.count();
        lastWaitMs = ms;
        waitedMs += ms;
        ++waits;
        ticks += ms * frequency / 1000;
        wall += ms / 1000;
        // Let other threads run, as a real wait would.
        std::this_thread::yield();
        return !(stop && stop());
    }
};

}  // namespace cx::test

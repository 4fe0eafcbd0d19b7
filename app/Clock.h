#pragma once
// Time sources behind one interface, so tests can drive time by hand.

#include <chrono>
#include <cstdint>
#include <ctime>

namespace cx {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic counter and its ticks per second (frame rates, time-outs).
    virtual int64_t steadyTicks() const = 0;
    virtual int64_t steadyFrequency() const = 0;
    // Wall-clock seconds since 1970 (file names, schedule, segments).
    virtual int64_t now() const = 0;
};

class SystemClock final : public Clock {
public:
    int64_t steadyTicks() const override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    int64_t steadyFrequency() const override { return 1'000'000'000; }
    int64_t now() const override { return static_cast<int64_t>(std::time(nullptr)); }

    static SystemClock& instance()
    {
        static SystemClock clock;
        return clock;
    }
};

}  // namespace cx

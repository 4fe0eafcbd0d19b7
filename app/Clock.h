#pragma once
// Time sources and waits behind one interface, so tests can drive time by
// hand: a simulated clock runs a back-off or a week of schedule in
// milliseconds.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <thread>

namespace cx {

// Asked during a wait: true ends the wait early.
using StopToken = std::function<bool()>;

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic counter and its ticks per second (frame rates, time-outs).
    virtual int64_t steadyTicks() const = 0;
    virtual int64_t steadyFrequency() const = 0;
    // Wall-clock seconds since 1970 (file names, schedule, segments).
    virtual int64_t now() const = 0;
    // The same in milliseconds (the time each recorded frame is received).
    virtual int64_t nowMs() const { return now() * 1000; }
    // Waits `duration` of this clock's time unless `stop` turns true first;
    // false when the wait was ended by `stop`. Safe from any thread.
    virtual bool waitFor(std::chrono::milliseconds duration, const StopToken& stop) const = 0;
    // Waits until the steady counter reaches `ticks` (see steadyTicks), the
    // same way.
    bool waitUntil(int64_t ticks, const StopToken& stop) const
    {
        const int64_t left = ticks - steadyTicks();
        if (left <= 0) return !(stop && stop());
        const int64_t frequency = steadyFrequency() > 0 ? steadyFrequency() : 1;
        return waitFor(std::chrono::milliseconds((left * 1000 + frequency - 1) / frequency), stop);
    }
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
    // Read through the vDSO: no system call per frame.
    int64_t nowMs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }

    // Sleeps in slices of 20 ms, so a stop is seen within one slice.
    bool waitFor(std::chrono::milliseconds duration, const StopToken& stop) const override
    {
        constexpr auto slice = std::chrono::milliseconds(20);
        const auto until = std::chrono::steady_clock::now() + duration;
        for (;;) {
            if (stop && stop()) return false;
            const auto left = until - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) return true;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, slice));
        }
    }

    static SystemClock& instance()
    {
        static SystemClock clock;
        return clock;
    }
};

}  // namespace cx

#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "Clock.h"
#include "FakeClock.h"

namespace cx::test {

using namespace std::chrono_literals;

// Waits take no time (as on FakeClock) and are recorded in order. The wait
// numbered `holdAt` (from 0) does not return until release() or a stop, so
// the test can bring the camera up while the worker sits in it.
class SteppingClock final : public Clock {
public:
    explicit SteppingClock(size_t holdAt) : holdAt_(holdAt) {}

    int64_t steadyTicks() const override { return time_.steadyTicks(); }
    int64_t steadyFrequency() const override { return time_.steadyFrequency(); }
    int64_t now() const override { return time_.now(); }
    bool waitFor(std::chrono::milliseconds duration, const StopToken& stop) const override
    {
        std::unique_lock lock(mutex_);
        const size_t index = waits_.size();
        waits_.push_back(duration.count());
        changed_.notify_all();
        if (index == holdAt_) {
            for (int slice = 0; slice < 1000 && !released_; ++slice) {  // ten seconds at most
                if (stop && stop()) return false;
                changed_.wait_for(lock, 10ms);
            }
        }
        lock.unlock();
        return time_.waitFor(duration, stop);
    }

    // The waits asked for once there are at least n (or after ten seconds).
    std::vector<int64_t> waitsOnceThereAre(size_t n) const
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [&] { return waits_.size() >= n; });
        return waits_;
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    FakeClock time_;
    const size_t holdAt_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::vector<int64_t> waits_;
    bool released_ = false;
};

}  // namespace cx::test

#pragma once

#include "Clock.h"

namespace cx::test {

// A clock the test moves by hand.
class FakeClock final : public Clock {
public:
    int64_t ticks = 0;
    int64_t frequency = 1000;
    int64_t wall = 0;
    int64_t steadyTicks() const override { return ticks; }
    int64_t steadyFrequency() const override { return frequency; }
    int64_t now() const override { return wall; }
};

}  // namespace cx::test

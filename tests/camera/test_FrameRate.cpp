#include <gtest/gtest.h>

#include "AppState.h"
#include "FrameRate.h"
#include "support/FakeClock.h"

using namespace cx;
using cx::test::FakeClock;

TEST(FrameRate, BlocksOfThirtyFrames)
{
    AppState state;
    FakeClock clock;
    clock.frequency = 1000;  // milliseconds
    StartFrameRate(state, 3, clock);

    // Frames every 100 ms: frames 1..29 show 0, frame 30 completes the
    // block: 29 intervals in 2.9 s = 10 fps.
    for (int frame = 1; frame <= 29; ++frame) {
        EXPECT_FLOAT_EQ(MeasureFrameRate(state, 3, clock), 0.0f) << frame;
        clock.ticks += 100;
    }
    EXPECT_FLOAT_EQ(MeasureFrameRate(state, 3, clock), 10.0f);

    // The next block at 50 ms per frame; the old value stays until it completes.
    for (int frame = 31; frame <= 59; ++frame) {
        clock.ticks += 50;
        EXPECT_FLOAT_EQ(MeasureFrameRate(state, 3, clock), 10.0f) << frame;
    }
    clock.ticks += 50;
    EXPECT_FLOAT_EQ(MeasureFrameRate(state, 3, clock), 20.0f);

    // Other slots are untouched.
    EXPECT_FLOAT_EQ(state.frameRate[2].lastFrameRate.load(), 0.0f);
}

TEST(FrameRate, EqualReadingsLeaveTheRateUnchanged)
{
    AppState state;
    FakeClock clock;
    StartFrameRate(state, 0, clock);
    for (int frame = 1; frame <= 30; ++frame) {
        MeasureFrameRate(state, 0, clock);
        clock.ticks += 10;
    }
    const float rate = state.frameRate[0].lastFrameRate.load();
    ASSERT_GT(rate, 0.0f);
    for (int frame = 31; frame <= 60; ++frame) EXPECT_FLOAT_EQ(MeasureFrameRate(state, 0, clock), rate);
}

TEST(FrameRate, NoCounterOrFrequencyMeansNoRate)
{
    AppState state;
    FakeClock clock;
    state.highResolutionCounter = 0;
    StartFrameRate(state, 0, clock);
    for (int frame = 1; frame <= 90; ++frame) {
        EXPECT_FLOAT_EQ(MeasureFrameRate(state, 0, clock), 0.0f);
        clock.ticks += 10;
    }

    // A counter but no frequency read for the slot: also no value.
    AppState other;
    for (int frame = 1; frame <= 30; ++frame) {
        MeasureFrameRate(other, 1, clock);
        clock.ticks += 10;
    }
    EXPECT_FLOAT_EQ(other.frameRate[1].lastFrameRate.load(), 0.0f);
    EXPECT_FLOAT_EQ(MeasureFrameRate(other, 99, clock), 0.0f);  // no such slot
}

TEST(Clock, WaitUntilRunsOnTheClocksOwnTime)
{
    FakeClock clock;
    clock.frequency = 1000;  // ticks are milliseconds
    clock.ticks = 500;
    EXPECT_TRUE(clock.waitUntil(3000, {}));
    EXPECT_EQ(clock.ticks.load(), 3000);  // 2.5 s later in simulated time, at once
    EXPECT_EQ(clock.lastWaitMs.load(), 2500);
    EXPECT_TRUE(clock.waitUntil(1000, {}));  // already past: no wait
    EXPECT_EQ(clock.ticks.load(), 3000);
    EXPECT_FALSE(clock.waitUntil(9000, [] { return true; }));  // a stop ends it before any time passes
    EXPECT_EQ(clock.ticks.load(), 3000);
}

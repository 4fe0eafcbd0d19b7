// The camera slot's state machine, rule by rule.

#include <gtest/gtest.h>

#include "SlotLife.h"

namespace cx {
namespace {

using S = SlotState;
using I = SlotInput;
using A = SlotAction;

struct Row {
    S state;
    I input;
    bool snapshotCamera;
    I pending;
    S next;
    A action;
};

TEST(SlotLife, EveryRule)
{
    const Row rows[] = {
        // Start connects an idle slot and never makes a second connection.
        {S::Idle, I::Start, false, I::Stop, S::Connecting, A::Connect},
        {S::Connecting, I::Start, false, I::Stop, S::Connecting, A::None},
        {S::Live, I::Start, false, I::Stop, S::Live, A::None},
        {S::BackingOff, I::Start, false, I::Stop, S::BackingOff, A::None},
        // Stop and Restart end a connection in any of its states.
        {S::Live, I::Stop, false, I::Stop, S::Stopping, A::Disconnect},
        {S::BackingOff, I::Stop, false, I::Stop, S::Stopping, A::Disconnect},
        {S::Connecting, I::Restart, false, I::Stop, S::Stopping, A::Disconnect},
        {S::Idle, I::Stop, false, I::Stop, S::Idle, A::None},
        {S::Idle, I::Restart, false, I::Stop, S::Connecting, A::Connect},
        // Live view off ends stream and protocol cameras, not snapshot cameras.
        {S::Live, I::ViewOff, false, I::Stop, S::Stopping, A::Disconnect},
        {S::Live, I::ViewOff, true, I::Stop, S::Live, A::None},
        {S::Idle, I::ViewOff, false, I::Stop, S::Idle, A::None},
        // Exit ends everything, for good.
        {S::Idle, I::Exit, false, I::Stop, S::Ended, A::None},
        {S::Live, I::Exit, false, I::Stop, S::Stopping, A::Disconnect},
        {S::Ended, I::Start, false, I::Stop, S::Ended, A::None},
        {S::Ended, I::Restart, false, I::Stop, S::Ended, A::None},
        // The connection's own events.
        {S::Connecting, I::Picture, false, I::Stop, S::Live, A::None},
        {S::Live, I::Broken, false, I::Stop, S::BackingOff, A::None},
        {S::Connecting, I::Broken, false, I::Stop, S::BackingOff, A::None},
        {S::BackingOff, I::RetryDue, false, I::Stop, S::Connecting, A::None},
        {S::Live, I::Dead, false, I::Stop, S::Idle, A::None},
        // While a connection is let go, its events change nothing.
        {S::Stopping, I::Picture, false, I::Stop, S::Stopping, A::None},
        {S::Stopping, I::Broken, false, I::Stop, S::Stopping, A::None},
        {S::Stopping, I::Dead, false, I::Stop, S::Stopping, A::None},
        // Let go: what follows is the pending command's.
        {S::Stopping, I::Released, false, I::Stop, S::Idle, A::None},
        {S::Stopping, I::Released, false, I::ViewOff, S::Idle, A::None},
        {S::Stopping, I::Released, false, I::Restart, S::Connecting, A::Connect},
        {S::Stopping, I::Released, false, I::Exit, S::Ended, A::None},
        {S::Live, I::Released, false, I::Exit, S::Live, A::None},
    };
    for (const Row& r : rows) {
        const SlotStep step = slotStep(r.state, r.input, r.snapshotCamera, r.pending);
        EXPECT_EQ(step.next, r.next) << slotStateName(r.state) << " input " << static_cast<int>(r.input);
        EXPECT_EQ(step.action, r.action) << slotStateName(r.state) << " input " << static_cast<int>(r.input);
    }
}

TEST(SlotLife, CommandsWhileLettingGoMerge)
{
    const struct {
        I pending;
        I next;
        I merged;
    } rows[] = {
        {I::Stop, I::Start, I::Restart},   // stopped then started: run again
        {I::ViewOff, I::Start, I::Restart},
        {I::Restart, I::Stop, I::Stop},    // restarted then stopped: rest
        {I::Stop, I::Exit, I::Exit},
        {I::Exit, I::Start, I::Exit},      // nothing undoes the exit
        {I::Exit, I::Restart, I::Exit},
        {I::Restart, I::ViewOff, I::ViewOff},
    };
    for (const auto& r : rows)
        EXPECT_EQ(mergePending(r.pending, r.next), r.merged)
            << static_cast<int>(r.pending) << " then " << static_cast<int>(r.next);
}

}  // namespace
}  // namespace cx

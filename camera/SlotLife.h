#pragma once
// The life of one camera slot as one explicit state machine: what a
// command or an event of the connection does in each state. The slot's
// controller runs every change of its state through slotStep, so the rules
// live in this one table (tested as a table).

namespace cx {

enum class SlotState {
    Idle,        // no connection; waits for a command
    Connecting,  // asking the camera (first request, login, reconnect)
    Live,        // pictures arrive
    BackingOff,  // the connection failed; waiting before the next try
    Stopping,    // a command ends the connection; it is being let go
    Ended,       // the program exits: nothing starts again
};

enum class SlotInput {
    // Commands (front end, engine)
    Start,    // connect unless connected
    Stop,     // let go of the connection
    Restart,  // let go and connect again with the table's current row
    ViewOff,  // live view switched off: stream cameras let go, snapshot cameras go on
    Exit,     // the program ends
    // Events of the connection (the slot's own thread)
    Picture,  // a picture arrived
    Broken,   // the connection failed, closed or went silent
    RetryDue, // the back-off is over
    Dead,     // the camera cannot be served (no decoder, a wrong answer): stays idle until started
    Released, // the connection was let go after a command
};

// What the controller does after a step.
enum class SlotAction {
    None,
    Connect,     // run a connection from the start
    Disconnect,  // end the running connection (its thread sees it at its next wait)
};

struct SlotStep {
    SlotState next;
    SlotAction action;
};

// `pending` is the command that ended the connection, for Released: the
// state after it (Restart connects again, Exit ends, the others rest).
// `keepsRunningWithoutView`: snapshot cameras, which live view off does
// not stop.
SlotStep slotStep(SlotState state, SlotInput input, bool keepsRunningWithoutView = false,
                  SlotInput pending = SlotInput::Stop);

const char* slotStateName(SlotState state);

}  // namespace cx

namespace cx {

// Two commands that came while a connection was being let go make one:
// Exit wins over everything; a start after a stop means run again; a stop
// after a restart means stay idle.
SlotInput mergePending(SlotInput pending, SlotInput next);

}  // namespace cx

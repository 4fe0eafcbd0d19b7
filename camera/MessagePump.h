#pragma once
// Lets long-running work on the UI thread dispatch pending events.

namespace cx {

// On the UI thread: dispatches the waiting events. Returns 0 when a quit
// was requested (it stays requested for the event loop), else 1. On any
// other thread there is nothing to dispatch and it returns 1.
int PumpPendingMessages();

// Asks the program to quit: the main event loop ends and every later
// PumpPendingMessages() returns 0.
void RequestQuit();

// Forgets an earlier quit request (tests, a new event loop).
void ClearQuitRequest();

}  // namespace cx

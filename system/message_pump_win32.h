// The main thread's Win32 message queue: posted calls arrive on it as thread message 0x7001, and
// every driver's Poll and Wait drain it through these two calls. In-tree code only; the window
// driver uses them too, so posted calls and window messages share one pump.
#pragma once

#include <windows.h>

namespace corvex {

// The thread message that carries posted calls. A WH_GETMESSAGE hook on the main thread runs the
// queued calls whenever any message loop removes it, the modal loops of message boxes and
// dialogs included, so timer ticks keep arriving while one is open.
constexpr UINT kPostedCallMessage = 0x7001;

// Removes every queued message: window messages are translated and dispatched to their window
// procedures; then the posted calls queued so far run, in posting order (calls they post run at
// the next pump).
void PumpMainThreadMessages();

// Blocks until a message, a posted call or other input is waiting (MsgWaitForMultipleObjects
// with QS_ALLINPUT); returns at once when one is already there. Does not remove anything.
void WaitMainThreadMessages();

}  // namespace corvex

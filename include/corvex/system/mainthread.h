// Calls handed to the main thread from any thread, and the wake-up that lets it block for them.
//
// Any thread may post; the main thread runs the calls inside the system driver's Poll(), in
// posting order. A driver's Wait() blocks on MainThreadWakeFd() (plus its own sources):
//
//     ClearMainThreadWake();                          // consume old wake-ups first,
//     if (!PostedCallsPending() && !own_pending())    // then test,
//         poll({MainThreadWakeFd(), own_fd}, -1);     // then block: a post after the test wakes it
//     Poll();
//
// A driver's Poll() must answer "nothing pending" without a system call, because every polled
// input query runs it (ten thousand times a frame):
//
//     if (PostedCallsPending()) RunPostedCalls();     // an atomic load when nothing is posted
//
// Posting increments the pending count before it writes the eventfd, so a call posted before a
// query began is always seen by that query's Poll().
#pragma once

#include <cstdint>

#include <corvex/runtime/object.h>

namespace corvex {

// A posted call: function(context, data), run on the main thread. The queue holds a reference to
// context until the call has run, and drops it on the main thread.
using TPostedFunc = void (*)(const Ref<TObject>& context, int64_t data);
// An asynchronous worker: runs on its own thread; its result becomes the posted call's data.
using TAsyncWorker = int64_t (*)(int64_t workerData);

// --- Any thread -------------------------------------------------------------------------------
bool PostToMainThread(TPostedFunc function, Ref<TObject> context, int64_t data);  // false if it could not be queued
bool StartAsyncCall(TAsyncWorker worker, int64_t workerData, TPostedFunc function, Ref<TObject> context);  // false if no thread
bool PostedCallsPending();    // an atomic load: true while a posted call waits to run
void WakeMainThread();        // makes a blocked Wait() return; async-signal-safe
int MainThreadWakeFd();       // eventfd, readable after a post or WakeMainThread()

// --- Main thread ------------------------------------------------------------------------------
bool IsMainThread();          // the thread that started the system module (or first asked)
int32_t RunPostedCalls();     // runs the calls queued before this call, oldest first; count run (0 off the main thread)
void ClearMainThreadWake();   // consumes pending wake-ups; call before testing what is pending
void WaitMainThreadWake(int extraFd = -1);  // blocks until the wake fd (or extraFd) is readable; EINTR returns
void DiscardPostedCalls();    // drops every queued call unrun (for tests)

}  // namespace corvex

// The platform half of the main thread's posted-call queue: how a post wakes the main thread
// (an eventfd on Linux, thread message 0x7001 on Windows). In-tree code only.
#pragma once

namespace corvex {

void MainThreadQueueReady();  // on the main thread, once, when it is first identified
void SignalPostedCall();      // after a call was queued, from any thread

}  // namespace corvex

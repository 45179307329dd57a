// The headless driver's pump on Windows: the thread's message queue, which carries the posted
// calls (0x7001) and the messages of any window made without a window driver.
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>

#include "system/message_pump_win32.h"

namespace corvex {

void THeadlessSystemDriver::Poll() { PumpMainThreadMessages(); }

void THeadlessSystemDriver::Wait() {
    WaitMainThreadMessages();
    Poll();
}

}  // namespace corvex

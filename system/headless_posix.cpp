// The headless driver's pump on Linux: only posted calls, woken through the eventfd.
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>

namespace corvex {

void THeadlessSystemDriver::Poll() {
    if (PostedCallsPending()) RunPostedCalls();
}

void THeadlessSystemDriver::Wait() {
    // Consume old wake-ups before testing, so a post landing after the test still wakes us.
    ClearMainThreadWake();
    if (!PostedCallsPending()) WaitMainThreadWake();
    Poll();
}

}  // namespace corvex

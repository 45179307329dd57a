#include <corvex/system/clock.h>

#include <windows.h>
#include <mmsystem.h>

#include <corvex/system/entry.h>
#include "system/system_module.h"

namespace corvex {

int32_t CurrentMillis() {
    // The multimedia clock: milliseconds since Windows started, wrapping after 2^32 ms. Its
    // resolution follows timeBeginPeriod, which the process entry sets to 1 ms.
    return static_cast<int32_t>(timeGetTime());
}

void SleepMillis(int32_t ms) {
    if (ms < 0) return;
    Sleep(static_cast<DWORD>(ms));
}

void StartPlatformTiming() {
    // Sleeps, waits and multimedia timers to the millisecond; ended by the last exit handler.
    if (timeBeginPeriod(1) == TIMERR_NOERROR) AddExitHandler([] { timeEndPeriod(1); });
}

}  // namespace corvex

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

// The performance counter: monotonic, finer than a microsecond on current Windows.
static int64_t CounterFrequency() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return int64_t(f.QuadPart);
    }();
    return frequency;
}

int64_t CurrentMicros() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const int64_t f = CounterFrequency();
    // Whole seconds and the rest apart, so the product never overflows.
    return now.QuadPart / f * 1000000 + now.QuadPart % f * 1000000 / f;
}

double CurrentSeconds() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(CounterFrequency());
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

#include <corvex/system/clock.h>

#include <cerrno>
#include <ctime>

#include "system/system_module.h"

namespace corvex {

int32_t CurrentMillis() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    // Keep the low 32 bits and read them as signed, like a wrapping hardware counter.
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

int64_t CurrentMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000 + int64_t(now.tv_nsec) / 1000;
}

double CurrentSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void SleepMillis(int32_t ms) {
    if (ms < 0) return;
    timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    // A signal cuts the sleep short; carry on with what is left.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// Linux sleeps are fine-grained already.
void StartPlatformTiming() {}

}  // namespace corvex

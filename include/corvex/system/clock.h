// The millisecond clock and sleep.
#pragma once

#include <cstdint>

namespace corvex {

int32_t CurrentMillis();      // monotonic milliseconds, held in 32 bits: wraps after 2^32 ms
void SleepMillis(int32_t ms); // suspends the calling thread for ms milliseconds; negative does nothing
int64_t CurrentMicros();      // monotonic microseconds from an arbitrary start; 64 bits, does not wrap
double CurrentSeconds();      // the same clock in seconds

}  // namespace corvex

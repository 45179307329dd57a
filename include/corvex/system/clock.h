// The millisecond clock and sleep.
#pragma once

#include <cstdint>

namespace corvex {

int32_t CurrentMillis();      // monotonic milliseconds, held in 32 bits: wraps after 2^32 ms
void SleepMillis(int32_t ms); // suspends the calling thread for ms milliseconds; negative does nothing

}  // namespace corvex

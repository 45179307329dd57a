// The frame-rate overlay's bookkeeping: the time of the last update and the slowest and fastest
// frame times since start-up or the last reset. Pure arithmetic on clock readings.
#pragma once

#include <cstdint>
#include <optional>

#include <corvex/runtime/string.h>

namespace corvex {

struct FrameStatistics {
    int32_t LastTime = 0;       // clock reading (ms) of the last update that drew the lines
    int32_t SlowestFrame = 0;   // longest frame time seen (ms)
    int32_t FastestFrame = 100; // shortest frame time seen (ms)

    // The three overlay lines of one update: "FPS: ", "Low FPS: ", "High FPS: " with their numbers.
    struct Lines {
        TString fps, low, high;
    };

    void ResetExtremes();  // the A key: slowest 0, fastest 100

    // Measures the frame that ended at now: the elapsed time since LastTime always updates the
    // extremes; when it is positive the lines come back and the caller sets LastTime to a fresh
    // clock reading. A zero or negative time gives nothing and leaves LastTime as it is.
    // Clock wrap-around is handled; a divisor below 1 ms counts as 1 ms, so nothing divides by 0.
    std::optional<Lines> Measure(int32_t now);

    // Milliseconds from then to now on the 32-bit wrapping clock.
    static int32_t Elapsed(int32_t then, int32_t now);
    // Frames per second for one frame of ms milliseconds, truncated; ms below 1 counts as 1.
    static int32_t RateOf(int32_t ms);
};

}  // namespace corvex

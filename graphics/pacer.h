// Software frame pacing in whole milliseconds, and the check whether a full-screen display
// already presents at the requested rate.
#pragma once

#include <cstdint>
#include <functional>

namespace corvex {

// Millisecond arithmetic on a wrapping 32-bit clock: b - a as a signed difference.
inline int32_t MillisBetween(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(b) - static_cast<uint32_t>(a));
}
inline int32_t MillisAdd(int32_t t, int32_t ms) {  // t + ms on the wrapping clock
    return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(ms));
}

// The pacer's schedule: pacingHertz frames take exactly 1000 ms on average, each frame
// frameMillis long plus one millisecond on frameRemainder of every pacingHertz frames.
struct TFramePacer {
    int32_t pacingEnabled = 0;  // non-zero: Flip waits for the schedule
    int32_t pacingHertz = 0;  // frames per second, 0 = none
    int32_t frameMillis = 0;  // 1000 / pacingHertz
    int32_t frameRemainder = 0;  // 1000 % pacingHertz
    int32_t remainderAccumulator = 0;  // spreads the remainder over the frames
    int32_t nextFlipTime = 0;  // clock time the next frame is due

    // Sets the rate (0 = none) and starts the schedule at now; leaves pacingEnabled alone.
    void Start(int32_t hertz, int32_t now);

    // Advances the schedule by one frame and returns how long to sleep before presenting it.
    // A frame already late returns 0 and restarts the schedule from now.
    int32_t NextFrameWait(int32_t now);
};

// Flips for up to one second; true as soon as three flips in a row took 1000 / hertz ms
// give or take one, that is when the display itself keeps the rate.
bool DisplayKeepsRate(int32_t hertz, const std::function<int32_t()>& clock,
                      const std::function<void()>& flipWithSync);

}  // namespace corvex

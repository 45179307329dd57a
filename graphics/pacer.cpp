#include "graphics/pacer.h"

namespace corvex {

void TFramePacer::Start(int32_t hertz, int32_t now) {
    pacingHertz = hertz;
    frameMillis = hertz > 0 ? 1000 / hertz : 0;
    frameRemainder = 1000 - frameMillis * pacingHertz;
    remainderAccumulator = 0;
    nextFlipTime = now;
}

int32_t TFramePacer::NextFrameWait(int32_t now) {
    nextFlipTime = MillisAdd(nextFlipTime, frameMillis);
    if (pacingHertz > 0) {
        remainderAccumulator += frameRemainder;
        if (remainderAccumulator >= pacingHertz) {
            remainderAccumulator -= pacingHertz;
            nextFlipTime = MillisAdd(nextFlipTime, 1);
        }
    }
    const int32_t wait = MillisBetween(now, nextFlipTime);
    if (wait > 0) return wait;
    // Late: start again from now rather than hurrying to catch up.
    nextFlipTime = now;
    return 0;
}

bool DisplayKeepsRate(int32_t hertz, const std::function<int32_t()>& clock,
                      const std::function<void()>& flipWithSync) {
    if (hertz <= 0) return false;
    const int32_t deadline = MillisAdd(clock(), 1000);
    const int32_t slot = 1000 / hertz;
    int32_t good = 0;
    while (MillisBetween(clock(), deadline) > 0) {
        const int32_t start = clock();
        flipWithSync();
        const int32_t error = MillisBetween(start, clock()) - slot;
        if (error >= -1 && error <= 1) {
            if (++good == 3) return true;
        } else {
            good = 0;
        }
    }
    return false;
}

}  // namespace corvex

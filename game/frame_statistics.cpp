#include "game/frame_statistics.h"

namespace corvex {

void FrameStatistics::ResetExtremes() {
    SlowestFrame = 0;
    FastestFrame = 100;
}

int32_t FrameStatistics::Elapsed(int32_t then, int32_t now) {
    // Unsigned subtraction wraps like the clock does, and cannot overflow.
    return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(then));
}

int32_t FrameStatistics::RateOf(int32_t ms) { return 1000 / (ms < 1 ? 1 : ms); }

std::optional<FrameStatistics::Lines> FrameStatistics::Measure(int32_t now) {
    const int32_t elapsed = Elapsed(LastTime, now);
    if (elapsed > SlowestFrame) SlowestFrame = elapsed;
    if (elapsed < FastestFrame) FastestFrame = elapsed;
    if (elapsed <= 0) return std::nullopt;
    return Lines{u"FPS: " + DecimalString(RateOf(elapsed)),
                 u"Low FPS: " + DecimalString(RateOf(SlowestFrame)),
                 u"High FPS: " + DecimalString(RateOf(FastestFrame))};
}

}  // namespace corvex

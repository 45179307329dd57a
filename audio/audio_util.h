// Helpers the sample loaders share (not part of the public interface).
#pragma once

#include <cstdint>
#include <cstring>

#include <corvex/stream/stream.h>

namespace corvex::detail {

// Reads up to count bytes, looping over short reads; returns how many arrived before the end.
// A Read that makes no progress before the end raises TStreamReadException, as ReadBytes does.
int32_t ReadUpTo(TStream& stream, void* buffer, int32_t count);

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Channel settings as drivers store them: NaN leaves the old value, the rest is clamped.
inline float ClampSetting(float v, float lo, float hi, float old) {
    if (v != v) return old;
    return v < lo ? lo : (v > hi ? hi : v);
}
// Rates: positive and finite, kept within what every driver can mix.
constexpr float MIN_CHANNEL_RATE = 1.0f / 64;
constexpr float MAX_CHANNEL_RATE = 16.0f;
inline float ClampRate(float v, float old) {
    if (!(v > 0.0f)) return old;  // zero, negative and NaN are refused
    return ClampSetting(v, MIN_CHANNEL_RATE, MAX_CHANNEL_RATE, old);
}

}  // namespace corvex::detail

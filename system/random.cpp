#include <corvex/system/random.h>

#include <cmath>

namespace corvex {
namespace {

constexpr int32_t kInitialState = 0x1234;
int32_t state = kInitialState;

// One Park-Miller step by Schrage's method; never overflows 32 bits.
int32_t Step() {
    state = 48271 * (state % 44488) - 3399 * (state / 44488);
    if (state < 0) state += 2147483647;
    return state;
}

}  // namespace

void SeedRandom(int32_t seed) {
    state = seed & 0x7FFFFFFF;
    if (state == 0 || state == 0x7FFFFFFF) state = kInitialState;
}

int32_t RandomSeed() { return state; }

float RandomFloat() { return static_cast<float>(Step() & 0x0FFFFFF0) / 268435456.0f; }

double RandomDouble() {
    const double hi = Step() & 0x1FFFFFFC;
    const double lo = Step() & 0x1FFFFFF8;
    return (hi + lo / 134217728.0) / 536870912.0;
}

double RandomRange(double a, double b) {
    const double r = RandomDouble();
    if (b > a) return a + r * (b - a);
    return b + r * (a - b);
}

int32_t RandomInt(int32_t a, int32_t b) {
    // The difference is taken in 64 bits so that extreme arguments cannot overflow.
    const int64_t d = static_cast<int64_t>(b) - a;
    if (d > 0) return static_cast<int32_t>(a + static_cast<int64_t>(std::trunc(RandomDouble() * (d + 1))));
    return static_cast<int32_t>(b + static_cast<int64_t>(std::trunc(RandomDouble() * (1 - d))));
}

}  // namespace corvex

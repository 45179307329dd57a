// The seedable pseudo-random generator (Park-Miller, multiplier 48271), bit-exact.
#pragma once

#include <cstdint>

namespace corvex {

void SeedRandom(int32_t seed);          // 0 and 0x7FFFFFFF (after masking the sign) become 4660
int32_t RandomSeed();                   // the current state
float RandomFloat();                    // [0, 1), one step
double RandomDouble();                  // [0, 1), two steps
double RandomRange(double a, double b); // from the smaller up to the larger (excluded); a when equal
int32_t RandomInt(int32_t a, int32_t b);// between a and b, both included, in either order

}  // namespace corvex

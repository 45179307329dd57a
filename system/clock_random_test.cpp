#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include <corvex/system/clock.h>
#include <corvex/system/random.h>

namespace corvex {
namespace {

TEST(ClockTest, MicrosAndSecondsRunWithTheMillisecondClock) {
    int64_t us0 = CurrentMicros();
    double s0 = CurrentSeconds();
    int32_t ms0 = CurrentMillis();
    SleepMillis(25);
    int64_t us = CurrentMicros() - us0;
    double s = CurrentSeconds() - s0;
    int32_t ms = CurrentMillis() - ms0;
    EXPECT_GE(us, 24000);
    EXPECT_LT(us, 5000000);
    EXPECT_NEAR(s * 1e6, double(us), 2000.0);
    EXPECT_NEAR(double(us) / 1000.0, double(ms), 3.0);
    EXPECT_LE(us0, CurrentMicros()) << "never runs back";
}

TEST(RandomTest, TrappingSeedsBecome4660) {
    for (int32_t seed : {0, 0x7FFFFFFF, -1, INT32_MIN}) {
        SeedRandom(seed);
        EXPECT_EQ(RandomSeed(), 4660) << seed;
    }
    SeedRandom(-2);  // the sign bit is masked off
    EXPECT_EQ(RandomSeed(), 0x7FFFFFFE);
}

TEST(RandomTest, FirstFloatAfterSeedOne) {
    SeedRandom(1);
    EXPECT_EQ(RandomFloat(), 48256.0f / 268435456.0f);
    EXPECT_EQ(RandomSeed(), 48271);
}

TEST(RandomTest, StepsMatchDirectModularArithmetic) {
    // Schrage's method must agree with the plain 64-bit product modulo 2^31 - 1.
    SeedRandom(987654321);
    int64_t reference = 987654321;
    for (int i = 0; i < 100000; ++i) {
        reference = reference * 48271 % 2147483647;
        RandomFloat();
        ASSERT_EQ(RandomSeed(), reference) << "step " << i;
        ASSERT_GE(RandomSeed(), 1);
        ASSERT_LE(RandomSeed(), 2147483646);
    }
}

TEST(RandomTest, DoubleUsesTwoStepsWithTheStatedMasks) {
    SeedRandom(1);
    const double hi = 48271 & 0x1FFFFFFC;
    const double lo = static_cast<int32_t>(int64_t{48271} * 48271 % 2147483647) & 0x1FFFFFF8;
    EXPECT_EQ(RandomDouble(), (hi + lo / 134217728.0) / 536870912.0);
    EXPECT_EQ(RandomSeed(), int64_t{48271} * 48271 % 2147483647);
}

TEST(RandomTest, RangeIgnoresArgumentOrder) {
    SeedRandom(7);
    for (int i = 0; i < 10000; ++i) {
        const double up = RandomRange(0, 600);
        const double down = RandomRange(600, 0);
        ASSERT_GE(up, 0.0);
        ASSERT_LT(up, 600.0);
        ASSERT_GE(down, 0.0);
        ASSERT_LT(down, 600.0);
    }
    EXPECT_EQ(RandomRange(5, 5), 5.0);
    // Same draw, arguments swapped: measured from the smaller end both times.
    SeedRandom(3);
    const double a = RandomRange(10, 20);
    SeedRandom(3);
    EXPECT_EQ(RandomRange(20, 10), a);
    EXPECT_TRUE(std::isnan(RandomRange(std::nan(""), 1.0)));  // NaN takes the b <= a branch
}

TEST(RandomTest, IntCoversBothEndsInEitherOrder) {
    SeedRandom(42);
    std::set<int> up, down;
    for (int i = 0; i < 5000; ++i) {
        const int u = RandomInt(1, 6);
        const int d = RandomInt(6, 1);
        ASSERT_TRUE(u >= 1 && u <= 6);
        ASSERT_TRUE(d >= 1 && d <= 6);
        up.insert(u);
        down.insert(d);
    }
    EXPECT_EQ(up.size(), 6u);
    EXPECT_EQ(down.size(), 6u);
    EXPECT_EQ(RandomInt(9, 9), 9);
    // Extreme arguments must not overflow (the sanitizer build checks the arithmetic).
    std::set<bool> signs;
    for (int i = 0; i < 1000; ++i) {
        signs.insert(RandomInt(INT32_MIN, INT32_MAX) < 0);
        signs.insert(RandomInt(INT32_MAX, INT32_MIN) < 0);
    }
    EXPECT_EQ(signs.size(), 2u);
    const int top = RandomInt(INT32_MAX - 1, INT32_MAX);
    EXPECT_GE(top, INT32_MAX - 1);
}

TEST(ClockTest, SleepAdvancesTheClockAndNegativeSleepReturnsAtOnce) {
    const int32_t start = CurrentMillis();
    SleepMillis(30);
    const int32_t slept = CurrentMillis() - start;
    EXPECT_GE(slept, 30);
    EXPECT_LT(slept, 1000);
    const int32_t before = CurrentMillis();
    SleepMillis(-100);
    EXPECT_LT(CurrentMillis() - before, 5);
}

}  // namespace
}  // namespace corvex

#include "game/frame_statistics.h"

#include <gtest/gtest.h>

#include <climits>

using corvex::FrameStatistics;
using corvex::ToUtf8;

namespace {

FrameStatistics At(int32_t last) {
    FrameStatistics s;
    s.LastTime = last;
    return s;
}

}  // namespace

TEST(FrameStatistics, ThirtyHertzFramesShowTheirRateAndExtremes) {
    FrameStatistics s = At(1000);
    auto lines = s.Measure(1033);
    ASSERT_TRUE(lines);
    EXPECT_EQ(ToUtf8(lines->fps), "FPS: 30");
    EXPECT_EQ(ToUtf8(lines->low), "Low FPS: 30");
    EXPECT_EQ(ToUtf8(lines->high), "High FPS: 30");
    s.LastTime = 1033;
    lines = s.Measure(1067);  // 34 ms: slower
    ASSERT_TRUE(lines);
    EXPECT_EQ(ToUtf8(lines->fps), "FPS: 29");
    EXPECT_EQ(ToUtf8(lines->low), "Low FPS: 29");
    EXPECT_EQ(ToUtf8(lines->high), "High FPS: 30");
    EXPECT_EQ(s.SlowestFrame, 34);
    EXPECT_EQ(s.FastestFrame, 33);
}

TEST(FrameStatistics, ZeroElapsedDrawsNothingAndKeepsTheTimeStamp) {
    FrameStatistics s = At(500);
    EXPECT_FALSE(s.Measure(500));
    EXPECT_EQ(s.LastTime, 500);
    EXPECT_EQ(s.FastestFrame, 0);  // the extremes still take the 0 ms frame
    // The next frame measures from the earlier stamp, and "High FPS" does not divide by zero.
    auto lines = s.Measure(540);
    ASSERT_TRUE(lines);
    EXPECT_EQ(ToUtf8(lines->fps), "FPS: 25");
    EXPECT_EQ(ToUtf8(lines->low), "Low FPS: 25");
    EXPECT_EQ(ToUtf8(lines->high), "High FPS: 1000");
}

TEST(FrameStatistics, ResetMakesTheNextFrameTheOnlyExtreme) {
    FrameStatistics s = At(0);
    s.Measure(250);  // a slow frame: 4 FPS
    s.LastTime = 250;
    s.Measure(260);  // a fast one: 100 FPS
    s.ResetExtremes();
    EXPECT_EQ(s.SlowestFrame, 0);
    EXPECT_EQ(s.FastestFrame, 100);
    s.LastTime = 260;
    auto lines = s.Measure(300);
    ASSERT_TRUE(lines);
    EXPECT_EQ(ToUtf8(lines->low), "Low FPS: 25");
    EXPECT_EQ(ToUtf8(lines->high), "High FPS: 25");
}

TEST(FrameStatistics, FramesLongerThanTheResetValueStillRaiseFastestOnlyWhenShorter) {
    FrameStatistics s = At(0);
    auto lines = s.Measure(200);  // slower than the initial 100 ms "fastest"
    ASSERT_TRUE(lines);
    EXPECT_EQ(ToUtf8(lines->fps), "FPS: 5");
    EXPECT_EQ(ToUtf8(lines->high), "High FPS: 10");  // fastest stays 100 ms
}

TEST(FrameStatistics, ClockWrapAndBackwardsStepsAreSafe) {
    EXPECT_EQ(FrameStatistics::Elapsed(INT32_MAX - 10, INT32_MIN + 22), 33);
    EXPECT_EQ(FrameStatistics::Elapsed(-5, 28), 33);
    FrameStatistics s = At(INT32_MAX - 10);
    auto lines = s.Measure(INT32_MIN + 22);
    ASSERT_TRUE(lines);
    EXPECT_EQ(ToUtf8(lines->fps), "FPS: 30");
    // A clock that steps back gives no lines and a negative fastest frame, which still divides safely.
    FrameStatistics back = At(1000);
    EXPECT_FALSE(back.Measure(990));
    EXPECT_EQ(back.FastestFrame, -10);
    lines = back.Measure(1040);
    ASSERT_TRUE(lines);
    EXPECT_EQ(ToUtf8(lines->high), "High FPS: 1000");
}

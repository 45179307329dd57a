// The screen reader must never report text that is not on the screen: these cases paint text
// from the font bits into a synthetic screenshot and check what comes back.
#include "game/e2e/screen_reading.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

Screenshot Blank(int width, int height, uint32_t colour = 0) {
    Screenshot s;
    s.width = width;
    s.height = height;
    s.rgb.assign(static_cast<size_t>(width) * height, colour);
    return s;
}

void Paint(Screenshot& s, int x, int y, const std::string& text) {
    auto mask = RenderText(text);
    for (int row = 0; row < 16; ++row)
        for (size_t col = 0; col < mask[row].size(); ++col)
            if (mask[row][col]) s.rgb[(y + row) * s.width + x + col] = 0xFFFFFF;
}

TEST(ScreenReading, ReadsBackPaintedTextAndNumbers) {
    Screenshot s = Blank(200, 40, 0x000080);  // on water-blue
    Paint(s, 3, 2, "Box Counter! 42");
    Paint(s, 1, 20, "FPS: -7");
    EXPECT_EQ(ReadText(s, 3, 2, 24), "Box Counter! 42");
    EXPECT_EQ(ReadNumber(s, 3, 2, "Box Counter! "), 42);
    EXPECT_EQ(ReadNumber(s, 1, 20, "FPS: "), -7);
    EXPECT_EQ(ReadText(s, 4, 2, 3), "???") << "one pixel off is not the text";
    EXPECT_EQ(ReadNumber(s, 3, 2, "Box Count: "), std::nullopt);
}

TEST(ScreenReading, DamagedOrTruncatedTextIsNotANumber) {
    Screenshot s = Blank(100, 16);
    Paint(s, 0, 0, "12");
    s.rgb[5 * 100 + 12] ^= 0xFFFFFF;  // one pixel of the "2" flipped
    EXPECT_EQ(ReadText(s, 0, 0, 4), "1?");
    EXPECT_EQ(ReadNumber(s, 0, 0, ""), std::nullopt);
    EXPECT_EQ(ReadNumber(Blank(100, 16), 0, 0, ""), std::nullopt);
    EXPECT_EQ(ReadText(s, 95, 0, 4), "") << "cells beyond the edge are not read";
}

TEST(ScreenReading, WoodIsWarmAndNothingElseIs) {
    EXPECT_TRUE(IsWood(0xC48C4E));   // plank
    EXPECT_TRUE(IsWood(0x462C18));   // outline
    EXPECT_FALSE(IsWood(0xFFFFFF));  // text, lines
    EXPECT_FALSE(IsWood(0x00007F));  // water
    EXPECT_FALSE(IsWood(0x000000));  // background
    Screenshot s = Blank(10, 10);
    s.rgb[2 * 10 + 3] = s.rgb[4 * 10 + 5] = 0xC48C4E;
    WoodStats w = FindWood(s);
    EXPECT_EQ(w.count, 2);
    EXPECT_DOUBLE_EQ(w.cx, 4.0);
    EXPECT_DOUBLE_EQ(w.cy, 3.0);
    EXPECT_EQ(w.bounds.x, 3);
    EXPECT_EQ(w.bounds.width, 3);
    EXPECT_EQ(w.bounds.height, 3);
}

}  // namespace
}  // namespace e2e

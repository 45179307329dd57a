#include "tools/physimg/crate.h"

#include <gtest/gtest.h>

namespace {

int R(uint32_t p) { return (p >> 16) & 255; }
int G(uint32_t p) { return (p >> 8) & 255; }
int B(uint32_t p) { return p & 255; }

// The sandbox's end-to-end tests find crates on screen by their warm colour, so every pixel of
// the picture must be opaque wood: red clearly above blue, green in between.
TEST(Crate, EveryPixelIsOpaqueWarmWood) {
    for (int size : {16, 64, 100}) {
        auto pixels = physimg::PaintCrate(size);
        ASSERT_EQ(pixels.size(), size_t(size) * size);
        for (uint32_t p : pixels) {
            ASSERT_EQ(p >> 24, 0xFFu);
            ASSERT_GE(R(p), 40) << std::hex << p;
            ASSERT_GE(R(p) - B(p), 20) << std::hex << p;
            ASSERT_GE(R(p), G(p));
            ASSERT_GE(G(p), B(p));
        }
    }
}

TEST(Crate, FrameIsDarkerThanTheBoardsAndTheBraceCrossesThePanel) {
    auto pixels = physimg::PaintCrate(64);
    auto at = [&](int x, int y) { return pixels[y * 64 + x]; };
    auto brightness = [&](int x0, int y0, int x1, int y1) {
        long sum = 0, n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x, ++n) sum += R(at(x, y)) + G(at(x, y)) + B(at(x, y));
        return double(sum) / n;
    };
    const double boards = brightness(12, 12, 20, 20);    // upper-left panel, away from the brace
    const double frame = brightness(20, 1, 44, 5);       // top frame plank
    const double brace = brightness(30, 30, 34, 34);     // centre: the brace
    EXPECT_LT(frame, boards * 0.9);
    EXPECT_LT(brace, boards * 0.9);
    EXPECT_THROW(physimg::PaintCrate(8), std::invalid_argument);
}

}  // namespace

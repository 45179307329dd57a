#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <corvex/pixmap/jpeg.h>
#include <corvex/pixmap/loader.h>
#include "pixmap/test_images.h"
#include "pixmap/pixmap_module.h"

namespace corvex {
namespace {

using testimages::Bytes;

Ref<TStream> Memory(const Bytes& bytes) {
    return TRamStream::Create(bytes.data(), int32_t(bytes.size()), true);
}

class JpegTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartPixmapModule();
        PixmapModule().Reset();
    }
};

int MaxDifference(const Ref<TPixmap>& pixmap, const Bytes& expected, int components) {
    int worst = 0;
    for (int y = 0; y < pixmap->height; ++y) {
        const uint8_t* row = pixmap->PixelPtr(0, y);
        for (int i = 0; i < pixmap->width * components; ++i) {
            int d = std::abs(int(row[i]) - int(expected[size_t(y) * pixmap->width * components + i]));
            worst = std::max(worst, d);
        }
    }
    return worst;
}

TEST_F(JpegTest, GreyAndColourAndCmyk) {
    Bytes grey = testimages::PatternPixels(17, 9, 1);
    auto pixmap = LoadJpegPixmap(Memory(testimages::EncodeJpeg(17, 9, 1, grey, 95)));
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_I8);
    EXPECT_EQ(pixmap->width, 17);
    EXPECT_EQ(pixmap->height, 9);
    EXPECT_LE(MaxDifference(pixmap, grey, 1), 8);

    Bytes rgb = testimages::PatternPixels(20, 12, 3);
    pixmap = LoadPixmap(Memory(testimages::EncodeJpeg(20, 12, 3, rgb, 95)));
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_RGB888);
    EXPECT_LE(MaxDifference(pixmap, rgb, 3), 12);

    Bytes progressive = testimages::EncodeJpeg(20, 12, 3, rgb, 95, true);
    pixmap = LoadPixmap(Memory(progressive));
    ASSERT_TRUE(pixmap);
    EXPECT_LE(MaxDifference(pixmap, rgb, 3), 12);

    Bytes cmyk = testimages::EncodeJpeg(8, 8, 4, testimages::PatternPixels(8, 8, 4));
    EXPECT_FALSE(LoadJpegPixmap(Memory(cmyk)));
    EXPECT_FALSE(LoadPixmap(Memory(cmyk)));
}

TEST_F(JpegTest, SaveAtQualityAndLoadBack) {
    auto pixmap = TPixmap::Create(32, 16, FORMAT_BGRA8888, 4);
    Bytes expected = testimages::PatternPixels(32, 16, 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint8_t* p = &expected[(size_t(y) * 32 + x) * 3];
            pixmap->WritePixel(x, y, 0x7F000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    const std::string high = testimages::TempPath("high.jpg");
    const std::string low = testimages::TempPath("low.jpg");
    ASSERT_EQ(SaveJpegPixmap(pixmap, high, 95), 1);
    ASSERT_EQ(SaveJpegPixmap(pixmap, low, 10), 1);
    EXPECT_LT(testimages::ReadFile(low).size(), testimages::ReadFile(high).size());
    auto back = LoadPixmap(high);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format, FORMAT_RGB888);
    EXPECT_LE(MaxDifference(back, expected, 3), 12);
    std::remove(high.c_str());
    std::remove(low.c_str());

    EXPECT_EQ(SaveJpegPixmap(pixmap, "/nonexistent-dir/x.jpg", 80), 0);
    uint8_t small[64];
    EXPECT_EQ(SaveJpegPixmap(pixmap, TRamStream::Create(small, 64, false, true), 80), 0);
    const std::string empty = testimages::TempPath("empty.jpg");
    EXPECT_EQ(SaveJpegPixmap(TPixmap::Create(0, 3, FORMAT_RGB888, 4), empty, 80), 0);
    std::remove(empty.c_str());
}

TEST_F(JpegTest, TruncatedDataIsCompletedEmptyDataDeclined) {
    Bytes rgb = testimages::PatternPixels(64, 64, 3);
    Bytes full = testimages::EncodeJpeg(64, 64, 3, rgb, 90);
    // Cut half-way through the entropy-coded data that follows the start-of-scan marker.
    size_t sos = 0;
    for (size_t i = 0; i + 1 < full.size(); ++i)
        if (full[i] == 0xFF && full[i + 1] == 0xDA) sos = i;
    ASSERT_NE(sos, 0u);
    Bytes half(full.begin(), full.begin() + long(sos + (full.size() - sos) / 2));
    auto pixmap = LoadJpegPixmap(Memory(half));
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->width, 64);
    EXPECT_EQ(pixmap->height, 64);
    EXPECT_FALSE(LoadJpegPixmap(Memory(Bytes{})));
    EXPECT_FALSE(LoadPixmap(Memory(Bytes{})));
    // Every shorter prefix either loads at full size or is declined; nothing crashes.
    for (size_t n = 0; n < full.size(); n += 7) {
        Bytes cut(full.begin(), full.begin() + long(n));
        auto p = LoadJpegPixmap(Memory(cut));
        if (p) {
            EXPECT_EQ(p->width, 64);
        }
    }
}

TEST_F(JpegTest, FailuresLeaveNothingBehind) {
    Bytes rgb = testimages::PatternPixels(16, 16, 3);
    Bytes good = testimages::EncodeJpeg(16, 16, 3, rgb, 90);
    // Garbage after the start marker fails inside libjpeg; the next decode is unaffected.
    Bytes garbage = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x03, 0x99, 0x99};
    EXPECT_FALSE(LoadJpegPixmap(Memory(garbage)));
    for (size_t i = 2; i < good.size(); i += 5) {
        Bytes bad = good;
        bad[i] ^= 0x5A;
        LoadJpegPixmap(Memory(bad));  // any outcome but a crash or a leak
    }
    auto pixmap = LoadJpegPixmap(Memory(good));
    ASSERT_TRUE(pixmap);
    EXPECT_LE(MaxDifference(pixmap, rgb, 3), 12);
}

TEST_F(JpegTest, OversizedFrameIsDeclined) {
    Bytes jpeg = testimages::EncodeJpeg(8, 8, 3, testimages::PatternPixels(8, 8, 3));
    // Rewrite the frame header's height and width to 65000 x 65000 (over 2^28 pixels).
    size_t sof = 0;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) { sof = i; break; }
    ASSERT_NE(sof, 0u);
    for (size_t k : {sof + 5, sof + 7}) jpeg[k] = 0xFD, jpeg[k + 1] = 0xE8;
    EXPECT_FALSE(LoadJpegPixmap(Memory(jpeg)));
    TJpegImage image;
    auto stream = Memory(jpeg);
    EXPECT_EQ(DecodeJpeg(*stream, ReadJpegFromStream, &image), -1);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST_F(JpegTest, DecodeJpegAdapter) {
    Bytes grey = testimages::PatternPixels(5, 3, 1);
    const Bytes bytes = testimages::EncodeJpeg(5, 3, 1, grey, 100);
    auto stream = Memory(bytes);
    TJpegImage image;
    ASSERT_EQ(DecodeJpeg(*stream, ReadJpegFromStream, &image), 0);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.components, 1);
    ASSERT_NE(image.pixels, nullptr);
    for (size_t i = 0; i < grey.size(); ++i) EXPECT_NEAR(image.pixels[i], grey[i], 3);
    std::free(image.pixels);

    const Bytes junkBytes = {1, 2, 3};
    auto junk = Memory(junkBytes);
    EXPECT_EQ(DecodeJpeg(*junk, ReadJpegFromStream, &image), -1);

    // An exception from the read function is passed on after libjpeg is released.
    const Bytes startMarker = {0xFF, 0xD8};
    auto anything = Memory(startMarker);
    auto throwing = [](uint8_t*, int32_t, TStream&) -> int32_t { throw TRuntimeException("boom"); };
    EXPECT_THROW(DecodeJpeg(*anything, throwing, &image), TRuntimeException);
}

}  // namespace
}  // namespace corvex

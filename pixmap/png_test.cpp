#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>

#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/png.h>
#include "pixmap/test_images.h"
#include "pixmap/pixmap_module.h"

namespace corvex {
namespace {

using testimages::Bytes;
using testimages::TPngLayout;

Ref<TStream> Memory(const Bytes& bytes) {
    return TRamStream::Create(bytes.data(), int32_t(bytes.size()), true);
}

Ref<TPixmap> LoadPng(const Bytes& bytes) { return LoadPngPixmap(Memory(bytes)); }

std::string TempPath(const std::string& name) { return testimages::TempPath("png_" + name); }

class PngTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartPixmapModule();
        PixmapModule().Reset();
    }
};

// Packs samples of the given depth into one PNG row, most significant bits first.
Bytes PackRow(const std::vector<int>& samples, int depth) {
    Bytes row;
    if (depth == 16) {
        for (int s : samples) row.push_back(uint8_t(s >> 8)), row.push_back(uint8_t(s));
        return row;
    }
    int bit = 0;
    for (int s : samples) {
        if (bit % 8 == 0) row.push_back(0);
        row.back() |= uint8_t(s << (8 - depth - bit % 8));
        bit += depth;
    }
    return row;
}

TEST_F(PngTest, GreyOfEveryDepthExpandsToEightBits) {
    for (int depth : {1, 2, 4, 8, 16}) {
        const int maxValue = (1 << depth) - 1;
        std::vector<int> samples = {0, maxValue, maxValue / 3, 1};
        TPngLayout layout;
        layout.width = 4;
        layout.height = 2;
        layout.bitDepth = depth;
        layout.colorType = PNG_COLOR_TYPE_GRAY;
        layout.rows = {PackRow(samples, depth), PackRow({maxValue, 0, 0, 0}, depth)};
        auto pixmap = LoadPng(testimages::EncodePng(layout));
        ASSERT_TRUE(pixmap) << depth;
        EXPECT_EQ(pixmap->format, FORMAT_I8);
        EXPECT_EQ(pixmap->width, 4);
        for (int x = 0; x < 4; ++x) {
            // Low depths scale to 0..255; 16 bits keep the high byte.
            int expect = depth == 16 ? samples[x] >> 8 : samples[x] * 255 / maxValue;
            EXPECT_EQ(pixmap->PixelPtr(x, 0)[0], expect) << "depth " << depth << " x " << x;
        }
        EXPECT_EQ(pixmap->PixelPtr(0, 1)[0], depth == 16 ? 255 : 255);
    }
}

TEST_F(PngTest, GreyWithTransparencyChunkGetsAlpha) {
    for (int depth : {2, 8, 16}) {
        const int maxValue = (1 << depth) - 1;
        TPngLayout layout;
        layout.width = 2;
        layout.bitDepth = depth;
        layout.colorType = PNG_COLOR_TYPE_GRAY;
        layout.rows = {PackRow({1, maxValue}, depth)};
        layout.hasTransColour = true;
        layout.transGrey = 1;
        auto pixmap = LoadPng(testimages::EncodePng(layout));
        ASSERT_TRUE(pixmap) << depth;
        EXPECT_EQ(pixmap->format, FORMAT_RGBA8888);
        EXPECT_EQ(pixmap->PixelPtr(0, 0)[3], 0) << depth;
        EXPECT_EQ(pixmap->ReadPixel(1, 0), 0xFFFFFFFFu) << depth;
    }
}

TEST_F(PngTest, GreyWithAlphaSpreadsToRGBA) {
    for (int depth : {8, 16}) {
        TPngLayout layout;
        layout.width = 2;
        layout.bitDepth = depth;
        layout.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
        layout.rows = {depth == 8 ? Bytes{200, 50, 7, 255} : Bytes{200, 1, 50, 2, 7, 0, 255, 255}};
        auto pixmap = LoadPng(testimages::EncodePng(layout));
        ASSERT_TRUE(pixmap);
        EXPECT_EQ(pixmap->format, FORMAT_RGBA8888);
        EXPECT_EQ(Bytes(pixmap->pixels, pixmap->pixels + 8), (Bytes{200, 200, 200, 50, 7, 7, 7, 255}));
    }
}

TEST_F(PngTest, RgbAndRgbaOfBothDepths) {
    TPngLayout rgb16;
    rgb16.width = 1;
    rgb16.bitDepth = 16;
    rgb16.colorType = PNG_COLOR_TYPE_RGB;
    rgb16.rows = {{0x12, 0xFF, 0x34, 0x00, 0xAB, 0x80}};
    auto pixmap = LoadPng(testimages::EncodePng(rgb16));
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_RGB888);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF1234ABu);

    TPngLayout rgba16 = rgb16;
    rgba16.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    rgba16.rows = {{0x12, 0, 0x34, 0, 0x56, 0, 0x78, 0}};
    pixmap = LoadPng(testimages::EncodePng(rgba16));
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_RGBA8888);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0x78123456u);

    TPngLayout rgbTrns;
    rgbTrns.width = 2;
    rgbTrns.colorType = PNG_COLOR_TYPE_RGB;
    rgbTrns.rows = {{1, 2, 3, 4, 5, 6}};
    rgbTrns.hasTransColour = true;
    rgbTrns.transRed = 4, rgbTrns.transGreen = 5, rgbTrns.transBlue = 6;
    pixmap = LoadPng(testimages::EncodePng(rgbTrns));
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_RGBA8888);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF010203u);
    EXPECT_EQ(pixmap->ReadPixel(1, 0), 0x00040506u);
}

TEST_F(PngTest, PalettesWithAndWithoutTransparency) {
    for (int depth : {1, 2, 4, 8}) {
        TPngLayout layout;
        layout.width = 3;
        layout.bitDepth = depth;
        layout.colorType = PNG_COLOR_TYPE_PALETTE;
        layout.palette = {10, 20, 30, 40, 50, 60};
        layout.rows = {PackRow({1, 0, 1}, depth)};
        auto pixmap = LoadPng(testimages::EncodePng(layout));
        ASSERT_TRUE(pixmap) << depth;
        EXPECT_EQ(pixmap->format, FORMAT_RGB888);
        EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF28323Cu);
        EXPECT_EQ(pixmap->ReadPixel(1, 0), 0xFF0A141Eu);

        layout.paletteAlpha = {128};
        pixmap = LoadPng(testimages::EncodePng(layout));
        ASSERT_TRUE(pixmap) << depth;
        EXPECT_EQ(pixmap->format, FORMAT_RGBA8888);
        EXPECT_EQ(pixmap->ReadPixel(1, 0), 0x800A141Eu);
        EXPECT_EQ(pixmap->ReadPixel(2, 0), 0xFF28323Cu);  // entries past tRNS are opaque
    }
}

TEST_F(PngTest, InterlacedLoadsLikeItsTwin) {
    TPngLayout layout;
    layout.width = 13;
    layout.height = 11;
    layout.colorType = PNG_COLOR_TYPE_RGB;
    for (int y = 0; y < layout.height; ++y) {
        Bytes row;
        for (int x = 0; x < layout.width * 3; ++x) row.push_back(uint8_t(x * 11 + y * 37));
        layout.rows.push_back(row);
    }
    auto flat = LoadPng(testimages::EncodePng(layout));
    layout.interlaced = true;
    Bytes interlacedBytes = testimages::EncodePng(layout);
    auto interlaced = LoadPng(interlacedBytes);
    ASSERT_TRUE(flat && interlaced);
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x) ASSERT_EQ(flat->ReadPixel(x, y), interlaced->ReadPixel(x, y));
    // Truncated inside the passes: declined, not half an image.
    interlacedBytes.resize(interlacedBytes.size() - 40);
    EXPECT_FALSE(LoadPng(interlacedBytes));
}

TEST_F(PngTest, SaveAndLoadBackEveryFormat) {
    auto rgb = TPixmap::Create(3, 2, FORMAT_BGR888, 4);
    auto bgra = TPixmap::Create(3, 2, FORMAT_BGRA8888, 4);
    auto grey = TPixmap::Create(3, 2, FORMAT_I8, 4);
    auto alpha = TPixmap::Create(3, 2, FORMAT_A8, 4);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint32_t argb = uint32_t(0x40 * x + 0x10) << 24 | uint32_t(x * 80) << 16 | uint32_t(y * 90) << 8 | 0x33;
            rgb->WritePixel(x, y, argb);
            bgra->WritePixel(x, y, argb);
            grey->WritePixel(x, y, argb);
            alpha->WritePixel(x, y, argb);
        }
    }
    struct Case {
        Ref<TPixmap> pixmap;
        int loadedFormat;
    };
    for (const Case& c : {Case{rgb, FORMAT_RGB888}, Case{bgra, FORMAT_RGBA8888}, Case{grey, FORMAT_I8},
                          Case{alpha, FORMAT_RGBA8888}}) {
        std::string path = TempPath(std::string("round_") + PixelFormatName(c.pixmap->format) + ".png");
        ASSERT_EQ(SavePngPixmap(c.pixmap, path, 6), 1);
        auto back = LoadPixmap(path);
        ASSERT_TRUE(back) << PixelFormatName(c.pixmap->format);
        EXPECT_EQ(back->format, c.loadedFormat);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(back->ReadPixel(x, y), c.pixmap->ReadPixel(x, y));
        std::remove(path.c_str());
    }
    // A window (pitch wider than its rows) saves its own pixels only.
    auto window = bgra->Window(1, 0, 2, 2);
    std::string path = TempPath("window.png");
    ASSERT_EQ(SavePngPixmap(window, path), 1);
    auto back = LoadPixmap(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 2);
    EXPECT_EQ(back->ReadPixel(0, 1), bgra->ReadPixel(1, 1));
    std::remove(path.c_str());
}

TEST_F(PngTest, CompressionIsClampedToZlibLevels) {
    auto pixmap = TPixmap::Create(64, 64, FORMAT_RGB888, 4);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) pixmap->WritePixel(x, y, 0xFF000000u | uint32_t(x * y));
    auto saved = [&](int level) {
        std::string path = TempPath("level" + std::to_string(level) + ".png");
        EXPECT_EQ(SavePngPixmap(pixmap, path, level), 1);
        Bytes bytes = testimages::ReadFile(path);
        std::remove(path.c_str());
        return bytes;
    };
    EXPECT_EQ(saved(12), saved(9));
    EXPECT_EQ(saved(-3), saved(0));
    EXPECT_LT(saved(9).size(), saved(0).size());
}

TEST_F(PngTest, SaveFailuresReportZero) {
    auto pixmap = TPixmap::Create(8, 8, FORMAT_RGB888, 4);
    pixmap->ClearPixels(0xFF336699);
    EXPECT_EQ(SavePngPixmap(pixmap, "/nonexistent-dir/x.png"), 0);
    // A memory stream too small for the file: the write fails part-way.
    uint8_t small[20];
    EXPECT_EQ(SavePngPixmap(pixmap, TRamStream::Create(small, 20, false, true)), 0);
    const std::string empty = TempPath("empty.png");
    EXPECT_EQ(SavePngPixmap(TPixmap::Create(0, 0, FORMAT_RGB888, 4), empty), 0);
    std::remove(empty.c_str());
}

TEST_F(PngTest, MalformedDataIsDeclined) {
    TPngLayout layout;
    layout.width = 5;
    layout.height = 4;
    layout.colorType = PNG_COLOR_TYPE_RGB;
    layout.rows.assign(4, Bytes(15, 0x5A));
    const Bytes good = testimages::EncodePng(layout);
    ASSERT_TRUE(LoadPng(good));
    // Every truncation: Null (never a crash, never a half-read image).
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + long(n));
        EXPECT_FALSE(LoadPng(cut)) << n;
    }
    // Flipped bytes anywhere: no crash; corruption in critical data is declined.
    for (size_t i = 8; i < good.size(); ++i) {
        Bytes bad = good;
        bad[i] ^= 0x41;
        LoadPng(bad);
    }
    Bytes badCrc = good;
    badCrc[30] ^= 1;  // inside the IHDR CRC
    EXPECT_FALSE(LoadPng(badCrc));
    EXPECT_FALSE(LoadPng(Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g', '!', 0, 0}));
}

TEST_F(PngTest, OversizedHeadersAreDeclinedBeforeAllocating) {
    // 20000 x 20000 is over the 2^28-pixel limit; 2^20+1 wide is over libpng's own limit.
    EXPECT_FALSE(LoadPng(testimages::PngHeaderOnly(20000, 20000)));
    EXPECT_FALSE(LoadPng(testimages::PngHeaderOnly(1048577, 1)));
    EXPECT_FALSE(LoadPng(testimages::PngHeaderOnly(0, 5)));
    // Within every limit but without image data.
    EXPECT_FALSE(LoadPng(testimages::PngHeaderOnly(16, 16)));
}

TEST_F(PngTest, CallerStreamStaysOpenAfterTheImage) {
    TPngLayout layout;
    layout.colorType = PNG_COLOR_TYPE_GRAY;
    layout.rows = {{77}};
    Bytes bytes = testimages::EncodePng(layout);
    const size_t imageSize = bytes.size();
    bytes.push_back(0xEE);
    auto stream = Memory(bytes);
    auto pixmap = LoadPngPixmap(stream);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->pixels[0], 77);
    EXPECT_EQ(stream->Pos(), int32_t(imageSize));
    EXPECT_EQ(stream->ReadByte(), 0xEE);
}

}  // namespace
}  // namespace corvex

#include <gtest/gtest.h>

#include <corvex/pixmap/bmp.h>
#include <corvex/pixmap/loader.h>
#include "pixmap/test_images.h"
#include <corvex/pixmap/tga.h>
#include "pixmap/pixmap_module.h"

namespace corvex {
namespace {

using testimages::Bytes;
using testimages::BmpHeader;
using testimages::PutInt;
using testimages::PutShort;
using testimages::TgaHeader;

Ref<TPixmap> Bmp(const Bytes& bytes) {
    return TPixmapLoaderBMP().LoadPixmap(TRamStream::Create(bytes.data(), int32_t(bytes.size()), true));
}
Ref<TPixmap> Tga(const Bytes& bytes) {
    return TPixmapLoaderTGA().LoadPixmap(TRamStream::Create(bytes.data(), int32_t(bytes.size()), true));
}
void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

class BmpTgaTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartPixmapModule();
        PixmapModule().Reset();
    }
};

// ---- BMP

TEST_F(BmpTgaTest, Bmp24RowsArePaddedAndBottomUp) {
    Bytes narrow = BmpHeader(1, 2, 24);
    Append(narrow, {1, 2, 3, 0xEE, 4, 5, 6, 0xEE});  // width 1: 3 pixel bytes + 1 filler
    auto pixmap = Bmp(narrow);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_BGR888);
    EXPECT_EQ(pixmap->ReadPixel(0, 1), 0xFF030201u);  // first file row is the bottom row
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF060504u);

    Bytes wide = BmpHeader(4, 1, 24);  // rows of 12 bytes, no filler
    for (int i = 0; i < 12; ++i) wide.push_back(uint8_t(i));
    Append(wide, {0x77});
    pixmap = Bmp(wide);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(3, 0), 0xFF0B0A09u);
}

TEST_F(BmpTgaTest, Bmp1BitUsesTwoPaletteEntries) {
    Bytes bmp = BmpHeader(10, 1, 1);
    PutInt(bmp, 0x00000000);  // colour 0: black
    PutInt(bmp, 0x00FFFFFF);  // colour 1: white
    Append(bmp, {0x80, 0x40, 0, 0});
    auto pixmap = Bmp(bmp);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_BGR888);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixmap->ReadPixel(1, 0), 0xFF000000u);
    EXPECT_EQ(pixmap->ReadPixel(9, 0), 0xFFFFFFFFu);  // second byte, bit 0x40
}

TEST_F(BmpTgaTest, Bmp4And8BitPalettes) {
    Bytes bmp4 = BmpHeader(3, 1, 4);
    for (int i = 0; i < 16; ++i) PutInt(bmp4, uint32_t(i * 0x10101) | 0xAA000000u);
    Append(bmp4, {0x12, 0x30, 0, 0});
    auto pixmap = Bmp(bmp4);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF010101u);
    EXPECT_EQ(pixmap->ReadPixel(1, 0), 0xFF020202u);
    EXPECT_EQ(pixmap->ReadPixel(2, 0), 0xFF030303u);

    // Three colours used: index 5 lies past them and reads black.
    Bytes bmp8 = BmpHeader(2, 1, 8, 3);
    PutInt(bmp8, 0x00102030);
    PutInt(bmp8, 0x00405060);
    PutInt(bmp8, 0x00708090);
    Append(bmp8, {2, 5, 0, 0});
    pixmap = Bmp(bmp8);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF708090u);
    EXPECT_EQ(pixmap->ReadPixel(1, 0), 0xFF000000u);
}

TEST_F(BmpTgaTest, Bmp32KeepsItsFourthByteAsAlpha) {
    Bytes bmp = BmpHeader(2, 1, 32);
    Append(bmp, {10, 20, 30, 0, 40, 50, 60, 128});
    auto pixmap = Bmp(bmp);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_BGRA8888);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0x001E140Au);
    EXPECT_EQ(pixmap->ReadPixel(1, 0), 0x803C3228u);
}

TEST_F(BmpTgaTest, Bmp32RowsAreWidthTimesFourWithoutTheRowLimit) {
    // 20000 pixels make rows of 80000 bytes, past the 65532 that bounds the other depths.
    const int width = 20000;
    Bytes bmp = BmpHeader(width, 2, 32);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < width; ++x) Append(bmp, {uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(0x80 + y)});
    }
    auto pixmap = Bmp(bmp);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->width, width);
    EXPECT_EQ(pixmap->format, FORMAT_BGRA8888);
    // File row 0 is the bottom row; every pixel lands where its own bytes say.
    EXPECT_EQ(pixmap->ReadPixel(0, 1), 0x80000000u);
    EXPECT_EQ(pixmap->ReadPixel(width - 1, 1), 0x80004E1Fu);  // 19999 = 0x4E1F
    EXPECT_EQ(pixmap->ReadPixel(12345, 0), 0x81013039u);      // 12345 = 0x3039
    // Cut short inside the second row: the rest reads as zeros.
    bmp.resize(bmp.size() - 4 * 10000);
    pixmap = Bmp(bmp);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(9999, 0), 0x8101270Fu);  // 9999 = 0x270F
    EXPECT_EQ(pixmap->ReadPixel(10000, 0), 0u);
    // The pixel limit still holds for 32-bit files.
    PixmapModule().pixelLimit = int64_t(width) * 2 - 1;
    EXPECT_FALSE(Bmp(BmpHeader(width, 2, 32)));
    PixmapModule().pixelLimit = int64_t(width) * 2;
    EXPECT_TRUE(Bmp(BmpHeader(width, 2, 32)));
    // The other depths keep their 65532-byte rows: 22000 pixels are 66000 bytes at 24 bits.
    EXPECT_FALSE(Bmp(BmpHeader(22000, 1, 24)));
    EXPECT_TRUE(Bmp(BmpHeader(22000, 1, 32)));
}

TEST_F(BmpTgaTest, BmpMissingDataReadsAsZeros) {
    Bytes bmp = BmpHeader(2, 3, 24);
    Append(bmp, {1, 2, 3, 4, 5, 6, 0, 0, 9});  // one full row, then one byte
    auto pixmap = Bmp(bmp);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(1, 2), 0xFF060504u);
    EXPECT_EQ(pixmap->ReadPixel(0, 1), 0xFF000009u);
    EXPECT_EQ(pixmap->ReadPixel(1, 1), 0xFF000000u);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF000000u);
}

TEST_F(BmpTgaTest, BmpBadHeadersAreDeclined) {
    Bytes padding(64, 0);
    auto declined = [&](Bytes header) {
        Append(header, padding);
        return !Bmp(header);
    };
    EXPECT_TRUE(declined(BmpHeader(0, 4, 24)));
    EXPECT_TRUE(declined(BmpHeader(4, 0, 24)));
    EXPECT_TRUE(declined(BmpHeader(4, -4, 24)));  // top-down
    EXPECT_TRUE(declined(BmpHeader(-4, 4, 24)));
    EXPECT_TRUE(declined(BmpHeader(4, 4, 16)));
    EXPECT_TRUE(declined(BmpHeader(4, 4, 0)));
    EXPECT_TRUE(declined(BmpHeader(21845, 1, 24)));  // rows of 65536 bytes
    EXPECT_FALSE(declined(BmpHeader(21844, 1, 24)));  // rows of 65532 bytes
    EXPECT_TRUE(declined(BmpHeader(16000, 20000, 8)));  // 3.2e8 pixels, over 2^28
    EXPECT_TRUE(declined(BmpHeader(0x7FFFFFFF, 0x7FFFFFFF, 1)));
    EXPECT_TRUE(declined(BmpHeader(4, 4, 4, 17)));
    EXPECT_TRUE(declined(BmpHeader(4, 4, 8, 257)));
    EXPECT_TRUE(declined(BmpHeader(4, 4, 8, 0xFFFFFFFF)));
    EXPECT_FALSE(declined(BmpHeader(4, 4, 8, 256)));
    Bytes wrong = BmpHeader(1, 1, 24);
    wrong[1] = 'N';
    EXPECT_TRUE(declined(wrong));
    EXPECT_FALSE(Bmp(Bytes{'B'}));
}

// ---- TGA

TEST_F(BmpTgaTest, Tga24Uncompressed) {
    Bytes tga = TgaHeader(2, 2, 2, 24, 3);
    Append(tga, {0xAA, 0xBB, 0xCC});  // image ID, skipped
    Append(tga, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    auto pixmap = Tga(tga);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_RGB888);
    EXPECT_EQ(pixmap->ReadPixel(0, 1), 0xFF030201u);  // first file pixel at the bottom-left
    EXPECT_EQ(pixmap->ReadPixel(1, 1), 0xFF060504u);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF090807u);
}

TEST_F(BmpTgaTest, Tga15And16And32BitPixels) {
    Bytes tga16 = TgaHeader(3, 1, 2, 16);
    PutShort(tga16, 0x7FFF);
    PutShort(tga16, 0xFFFF);
    PutShort(tga16, 0x7C00);  // pure red
    auto pixmap = Tga(tga16);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_RGBA8888);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFFF8F8F8u);
    EXPECT_EQ(pixmap->ReadPixel(1, 0), 0x00F8F8F8u);  // bit 15 set: transparent
    EXPECT_EQ(pixmap->ReadPixel(2, 0), 0xFFF80000u);

    Bytes tga15 = TgaHeader(1, 1, 2, 15);
    PutShort(tga15, 0xFFFF);
    pixmap = Tga(tga15);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->format, FORMAT_RGB888);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFFF8F8F8u);

    Bytes tga32 = TgaHeader(1, 1, 2, 32);
    Append(tga32, {10, 20, 30, 40});
    pixmap = Tga(tga32);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0x281E140Au);
}

TEST_F(BmpTgaTest, TgaRunLengthPacketsOfEveryDepth) {
    for (int bits : {15, 16, 24, 32}) {
        // Row of 7: a run of 4 (header 0x83), then 3 raw pixels (header 0x02).
        Bytes tga = TgaHeader(7, 1, 10, bits);
        auto pixel = [&](int v) {
            if (bits <= 16) {
                PutShort(tga, uint32_t(v) & 0x7FFF);
            } else {
                Append(tga, {uint8_t(v), uint8_t(v + 1), uint8_t(v + 2)});
                if (bits == 32) tga.push_back(uint8_t(v + 3));
            }
        };
        tga.push_back(0x83);
        pixel(0x40);
        tga.push_back(0x02);
        pixel(0x10);
        pixel(0x20);
        pixel(0x30);
        auto pixmap = Tga(tga);
        ASSERT_TRUE(pixmap) << bits;
        for (int x = 1; x < 4; ++x) EXPECT_EQ(pixmap->ReadPixel(x, 0), pixmap->ReadPixel(0, 0)) << bits;
        EXPECT_NE(pixmap->ReadPixel(4, 0), pixmap->ReadPixel(5, 0)) << bits;
        EXPECT_NE(pixmap->ReadPixel(5, 0), pixmap->ReadPixel(6, 0)) << bits;
        if (bits == 24) {
            EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF424140u);
            EXPECT_EQ(pixmap->ReadPixel(6, 0), 0xFF323130u);
        }
    }
}

TEST_F(BmpTgaTest, TgaBadHeadersAndPacketsAreDeclined) {
    Bytes padding(64, 0);
    auto declined = [&](Bytes tga) {
        Append(tga, padding);
        return !Tga(tga);
    };
    EXPECT_TRUE(declined(TgaHeader(4097, 1, 2, 24)));
    EXPECT_TRUE(declined(TgaHeader(1, 4097, 2, 24)));
    EXPECT_TRUE(declined(TgaHeader(0, 1, 2, 24)));
    EXPECT_TRUE(declined(TgaHeader(2, 2, 2, 24, 0, 1)));  // colour map
    EXPECT_TRUE(declined(TgaHeader(2, 2, 1, 24)));        // colour-mapped type
    EXPECT_TRUE(declined(TgaHeader(2, 2, 3, 8)));         // greyscale type
    EXPECT_TRUE(declined(TgaHeader(2, 2, 2, 8)));
    EXPECT_TRUE(declined(TgaHeader(2, 2, 0, 24)));
    EXPECT_FALSE(declined(TgaHeader(4096, 1, 2, 24)));
    EXPECT_FALSE(Tga(Bytes{}));

    // A run of 4 in a row of 3, and a raw packet of 2 starting at the last column.
    Bytes run = TgaHeader(3, 2, 10, 24);
    Append(run, {0x83, 1, 2, 3});
    EXPECT_FALSE(Tga(run));
    Bytes raw = TgaHeader(3, 1, 10, 24);
    Append(raw, {0x81, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9});
    EXPECT_FALSE(Tga(raw));
}

TEST_F(BmpTgaTest, TgaMissingDataReadsAsZeros) {
    Bytes tga = TgaHeader(2, 2, 2, 32);
    Append(tga, {1, 2, 3, 4, 5, 6});
    auto pixmap = Tga(tga);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(0, 1), 0x04030201u);
    EXPECT_EQ(pixmap->ReadPixel(1, 1), 0x00000605u);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0u);

    Bytes rle = TgaHeader(4, 2, 10, 16);
    rle.push_back(0x83);  // run header, then the data ends: a run of zero values
    pixmap = Tga(rle);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(3, 1), 0xFF000000u);
    EXPECT_EQ(pixmap->ReadPixel(3, 0), 0xFF000000u);
}

}  // namespace
}  // namespace corvex

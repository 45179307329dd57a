#include <corvex/pixmap/pixmap.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <corvex/runtime/exception.h>

namespace corvex {
namespace {

std::vector<uint8_t> Bytes(const uint8_t* p, size_t n) { return std::vector<uint8_t>(p, p + n); }

TEST(PixelFormats, TablesAndNames) {
    EXPECT_EQ(BytesPerPixel[0], 0);
    EXPECT_EQ(BytesPerPixel[FORMAT_BGR888], 3);
    EXPECT_EQ(BytesPerPixel[FORMAT_RGBA8888], 4);
    EXPECT_EQ(BytesPerPixel[FORMAT_LUMINANCE8], 1);
    EXPECT_EQ(AlphaBitsPerPixel[FORMAT_A8], 8);
    EXPECT_EQ(AlphaBitsPerPixel[FORMAT_ALPHA8], 8);
    EXPECT_EQ(AlphaBitsPerPixel[FORMAT_INTENSITY8], 0);
    EXPECT_EQ(AlphaBitsPerPixel[FORMAT_RGB888], 0);
    EXPECT_STREQ(PixelFormatName(FORMAT_RGB888), "FORMAT_RGB888");
    EXPECT_STREQ(PixelFormatName(99), "FORMAT_NONE");
    EXPECT_EQ(FormatBytes(-1), 0);
    EXPECT_EQ(FormatBytes(13), 0);
}

TEST(PixelFormats, ExpandEveryFormat) {
    struct Case {
        int format;
        std::vector<uint8_t> src;
        std::vector<uint8_t> rgba;
    };
    const Case cases[] = {
        {FORMAT_I8, {7}, {7, 7, 7, 255}},
        {FORMAT_A8, {7}, {255, 255, 255, 7}},
        {FORMAT_BGR888, {1, 2, 3}, {3, 2, 1, 255}},
        {FORMAT_RGB888, {1, 2, 3}, {1, 2, 3, 255}},
        {FORMAT_BGRA8888, {1, 2, 3, 4}, {3, 2, 1, 4}},
        {FORMAT_RGBA8888, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {FORMAT_RED8, {9}, {9, 0, 0, 255}},
        {FORMAT_GREEN8, {9}, {0, 9, 0, 255}},
        {FORMAT_BLUE8, {9}, {0, 0, 9, 255}},
        {FORMAT_ALPHA8, {9}, {0, 0, 0, 9}},
        {FORMAT_INTENSITY8, {9}, {9, 9, 9, 9}},
        {FORMAT_LUMINANCE8, {9}, {9, 9, 9, 255}},
    };
    for (const Case& c : cases) {
        uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        ExpandToRGBA(c.src.data(), out, c.format, 1);
        EXPECT_EQ(Bytes(out, 4), c.rgba) << PixelFormatName(c.format);
    }
    uint8_t untouched[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    uint8_t src[4] = {1, 2, 3, 4};
    ExpandToRGBA(src, untouched, 13, 1);
    ReduceFromRGBA(src, untouched, 0, 1);
    EXPECT_EQ(Bytes(untouched, 4), (std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(PixelFormats, ReduceEveryFormat) {
    const uint8_t rgba[4] = {10, 20, 31, 200};
    struct Case {
        int format;
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        {FORMAT_I8, {20}},          {FORMAT_A8, {200}},          {FORMAT_BGR888, {31, 20, 10}},
        {FORMAT_RGB888, {10, 20, 31}}, {FORMAT_BGRA8888, {31, 20, 10, 200}},
        {FORMAT_RGBA8888, {10, 20, 31, 200}}, {FORMAT_RED8, {10}}, {FORMAT_GREEN8, {20}},
        {FORMAT_BLUE8, {31}},       {FORMAT_ALPHA8, {200}},
        {FORMAT_INTENSITY8, {(10 + 20 + 31 + 200) >> 2}}, {FORMAT_LUMINANCE8, {20}},
    };
    for (const Case& c : cases) {
        uint8_t out[4] = {};
        ReduceFromRGBA(rgba, out, c.format, 1);
        EXPECT_EQ(Bytes(out, c.out.size()), c.out) << PixelFormatName(c.format);
    }
    // Sums are over unsigned bytes and never overflow a byte before the division.
    const uint8_t white[4] = {255, 255, 255, 255};
    uint8_t v = 0;
    ReduceFromRGBA(white, &v, FORMAT_INTENSITY8, 1);
    EXPECT_EQ(v, 255);
    ReduceFromRGBA(white, &v, FORMAT_I8, 1);
    EXPECT_EQ(v, 255);
}

TEST(PixelFormats, ConvertThroughRGBA) {
    // BGR to I8 passes through RGBA and gives the grey of the RGB twin.
    const uint8_t bgr[3] = {31, 20, 10}, rgb[3] = {10, 20, 31};
    uint8_t a = 0, b = 0;
    ConvertPixels(bgr, FORMAT_BGR888, &a, FORMAT_I8, 1);
    ConvertPixels(rgb, FORMAT_RGB888, &b, FORMAT_I8, 1);
    EXPECT_EQ(a, 20);
    EXPECT_EQ(a, b);
    // A long run crosses the internal chunk boundary intact.
    const int n = 1500;
    std::vector<uint8_t> src(n * 3), dst(n * 3, 0);
    for (int i = 0; i < n * 3; ++i) src[i] = uint8_t(i * 7);
    ConvertPixels(src.data(), FORMAT_BGR888, dst.data(), FORMAT_RGB888, n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(dst[3 * i], src[3 * i + 2]);
        ASSERT_EQ(dst[3 * i + 2], src[3 * i]);
    }
    // Equal formats are a copy; unknown formats write nothing.
    uint8_t same[3] = {};
    ConvertPixels(rgb, FORMAT_RGB888, same, FORMAT_RGB888, 1);
    EXPECT_EQ(Bytes(same, 3), Bytes(rgb, 3));
    uint8_t none[3] = {5, 5, 5};
    ConvertPixels(rgb, 42, none, 42, 1);
    ConvertPixels(rgb, FORMAT_RGB888, none, 42, 1);
    EXPECT_EQ(Bytes(none, 3), (std::vector<uint8_t>{5, 5, 5}));
}

TEST(Pixmap, CreateFollowsPitchRule) {
    auto a = TPixmap::Create(5, 2, FORMAT_RGB888, 4);
    EXPECT_EQ(a->pitch, 16);
    EXPECT_EQ(a->capacity, 32);
    EXPECT_EQ(TPixmap::Create(4, 2, FORMAT_RGB888, 4)->pitch, 12);
    EXPECT_EQ(TPixmap::Create(3, 1, FORMAT_I8, 4)->pitch, 4);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a->pixels) % 16, 0u);
    EXPECT_STREQ(a->DataType().name.c_str(), "KVL.Pixmap.TPixmap");
    auto empty = TPixmap::Create(0, 0, FORMAT_RGBA8888, 4);
    EXPECT_EQ(empty->capacity, 0);
    EXPECT_THROW(TPixmap::Create(-1, 2, FORMAT_I8, 4), TRuntimeException);
    EXPECT_THROW(TPixmap::Create(70000, 70000, FORMAT_RGBA8888, 4), TRuntimeException);
    TPixmap fresh;
    EXPECT_EQ(fresh.pixels, nullptr);
    EXPECT_EQ(fresh.width | fresh.height | fresh.pitch | fresh.format | fresh.capacity, 0);
}

TEST(Pixmap, ReadAndWritePixels) {
    auto a8 = TPixmap::Create(1, 1, FORMAT_A8, 4);
    a8->pixels[0] = 0x80;
    EXPECT_EQ(a8->ReadPixel(0, 0), 0x80FFFFFFu);
    auto i8 = TPixmap::Create(1, 1, FORMAT_I8, 4);
    i8->pixels[0] = 0x40;
    EXPECT_EQ(i8->ReadPixel(0, 0), 0xFF404040u);
    i8->WritePixel(0, 0, 0xFF102030);
    EXPECT_EQ(i8->pixels[0], 0x20);
    auto bgr = TPixmap::Create(2, 1, FORMAT_BGR888, 4);
    bgr->WritePixel(1, 0, 0xFF102030);
    EXPECT_EQ(Bytes(bgr->PixelPtr(1, 0), 3), (std::vector<uint8_t>{0x30, 0x20, 0x10}));
    EXPECT_EQ(bgr->ReadPixel(1, 0), 0xFF102030u);
    for (int format : {FORMAT_RGB888, FORMAT_BGRA8888, FORMAT_RGBA8888}) {
        auto p = TPixmap::Create(1, 1, format, 4);
        p->WritePixel(0, 0, 0x80112233);
        uint32_t expect = format == FORMAT_RGB888 ? 0xFF112233u : 0x80112233u;
        EXPECT_EQ(p->ReadPixel(0, 0), expect) << PixelFormatName(format);
    }
    auto red = TPixmap::Create(1, 1, FORMAT_RED8, 4);
    red->pixels[0] = 9;
    red->WritePixel(0, 0, 0xFFFFFFFF);
    EXPECT_EQ(red->pixels[0], 9);
    EXPECT_EQ(red->ReadPixel(0, 0), 0u);
}

TEST(Pixmap, WindowSharesAndKeepsParentAlive) {
    auto parent = TPixmap::Create(4, 4, FORMAT_RGBA8888, 4);
    parent->ClearPixels(0);
    auto window = parent->Window(1, 2, 2, 2);
    EXPECT_EQ(window->capacity, -1);
    EXPECT_EQ(window->pitch, parent->pitch);
    window->WritePixel(0, 0, 0xFF010203);
    EXPECT_EQ(parent->ReadPixel(1, 2), 0xFF010203u);
    parent.reset();
    // The window still holds the parent's memory.
    window->WritePixel(1, 1, 0xFF040506);
    EXPECT_EQ(window->ReadPixel(1, 1), 0xFF040506u);
    EXPECT_EQ(window->ReadPixel(0, 0), 0xFF010203u);
}

TEST(Pixmap, ClearPixels) {
    auto parent = TPixmap::Create(4, 2, FORMAT_I8, 4);
    std::memset(parent->pixels, 7, size_t(parent->capacity));
    // A window's pitch exceeds its row: only its own pixels are cleared.
    parent->Window(1, 0, 2, 2)->ClearPixels(0);
    EXPECT_EQ(Bytes(parent->pixels, 8), (std::vector<uint8_t>{7, 0, 0, 7, 7, 0, 0, 7}));
    parent->ClearPixels(0xFF102030);
    EXPECT_EQ(Bytes(parent->pixels, 8), std::vector<uint8_t>(8, 0x20));
    auto bgra = TPixmap::Create(3, 2, FORMAT_BGRA8888, 4);
    bgra->ClearPixels(0x11223344);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(bgra->ReadPixel(x, y), 0x11223344u);
    // Padding bytes after a row are left alone by a clear to 0 of a padded pixmap.
    auto rgb = TPixmap::Create(1, 2, FORMAT_RGB888, 4);
    std::memset(rgb->pixels, 9, 8);
    rgb->ClearPixels(0);
    EXPECT_EQ(Bytes(rgb->pixels, 8), (std::vector<uint8_t>{0, 0, 0, 9, 0, 0, 0, 9}));
    // Formats 7..12 ignore non-zero clears.
    auto lum = TPixmap::Create(2, 1, FORMAT_LUMINANCE8, 4);
    lum->pixels[0] = lum->pixels[1] = 3;
    lum->ClearPixels(0xFFFFFFFF);
    EXPECT_EQ(lum->pixels[0], 3);
}

TEST(Pixmap, CopyConvertPaste) {
    // A source with a wide pitch: the copy follows the pitch rule instead.
    std::vector<uint8_t> memory(2 * 16, 0);
    for (int i = 0; i < 32; ++i) memory[i] = uint8_t(i);
    auto view = TPixmap::CreateStatic(memory.data(), 2, 2, 16, FORMAT_RGB888);
    auto copy = view->Copy();
    EXPECT_EQ(copy->pitch, 8);
    EXPECT_EQ(copy->capacity, 16);
    EXPECT_EQ(Bytes(copy->PixelPtr(0, 1), 6), Bytes(memory.data() + 16, 6));

    auto rgba = TPixmap::Create(1, 1, FORMAT_RGBA8888, 4);
    rgba->WritePixel(0, 0, 0x000A141F);  // (10, 20, 31, 0)
    auto grey = rgba->Convert(FORMAT_I8);
    EXPECT_EQ(grey->format, FORMAT_I8);
    EXPECT_EQ(grey->pixels[0], 20);

    auto dst = TPixmap::Create(3, 3, FORMAT_BGRA8888, 4);
    dst->ClearPixels(0);
    auto src = TPixmap::Create(2, 1, FORMAT_RGB888, 4);
    src->WritePixel(0, 0, 0xFF010203);
    src->WritePixel(1, 0, 0xFF040506);
    dst->Paste(*src, 1, 2);
    EXPECT_EQ(dst->ReadPixel(1, 2), 0xFF010203u);
    EXPECT_EQ(dst->ReadPixel(2, 2), 0xFF040506u);
    EXPECT_EQ(dst->ReadPixel(0, 2), 0u);
    EXPECT_EQ(dst->ReadPixel(1, 1), 0u);
}

TEST(PixmapTransforms, ColorKey) {
    auto single = TPixmap::Create(1, 1, FORMAT_RGB888, 4);
    single->WritePixel(0, 0, 0xFFFF00FF);
    auto keyed = ColorKeyPixmap(single, 255, 0, 255);
    EXPECT_EQ(keyed->format, FORMAT_RGBA8888);
    EXPECT_EQ(keyed->ReadPixel(0, 0), 0u);

    auto two = TPixmap::Create(2, 1, FORMAT_RGBA8888, 4);
    two->WritePixel(0, 0, 0x10FF00FF);  // key colour, any alpha
    two->WritePixel(1, 0, 0x20643200);  // (100, 50, 0) with alpha 0x20
    keyed = ColorKeyPixmap(two, 255, 0, 255);
    EXPECT_EQ(keyed->ReadPixel(0, 0), 0x00643200u);  // neighbour's colour, alpha 0
    EXPECT_EQ(keyed->ReadPixel(1, 0), 0xFF643200u);  // alpha replaced by 255

    // Average over the non-key pixels of the 3x3 block, integer division.
    auto grid = TPixmap::Create(3, 3, FORMAT_RGB888, 4);
    grid->ClearPixels(0xFF000000 | 0x0000FF);  // key: blue
    grid->WritePixel(0, 0, 0xFF0A0000);
    grid->WritePixel(2, 2, 0xFF0B0000);
    grid->WritePixel(2, 0, 0xFF000000);
    keyed = ColorKeyPixmap(grid, 0, 0, 255);
    EXPECT_EQ(keyed->ReadPixel(1, 1), uint32_t((10 + 11 + 0) / 3) << 16);
    EXPECT_EQ(keyed->ReadPixel(0, 2), 0u);  // no opaque neighbour
}

TEST(PixmapTransforms, ResampleBilinear) {
    auto src = TPixmap::Create(2, 1, FORMAT_RGBA8888, 4);
    src->WritePixel(0, 0, 0xFF000000);
    src->WritePixel(1, 0, 0xFFFFFFFF);
    auto wide = ResamplePixmap(src, 4, 1);
    ASSERT_EQ(wide->width, 4);
    const int expect[4] = {0, 63, 191, 255};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(wide->PixelPtr(x, 0)[0], expect[x]) << x;
    EXPECT_EQ(wide->PixelPtr(1, 0)[3], 255);

    // Same size reproduces the source exactly, also through another format.
    auto rgb = TPixmap::Create(5, 3, FORMAT_RGB888, 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) rgb->WritePixel(x, y, 0xFF000000u | uint32_t(x * 40 + y * 7) * 0x10203u);
    auto same = ResamplePixmap(rgb, 5, 3);
    EXPECT_EQ(same->format, FORMAT_RGB888);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(same->ReadPixel(x, y), rgb->ReadPixel(x, y));

    // Vertical interpolation and shrinking.
    auto column = TPixmap::Create(1, 2, FORMAT_I8, 4);
    column->pixels[0] = 0;
    column->pixels[column->pitch] = 200;
    auto tall = ResamplePixmap(column, 1, 4);
    EXPECT_EQ(tall->PixelPtr(0, 1)[0], 50);
    EXPECT_EQ(tall->PixelPtr(0, 2)[0], 150);
    auto small = ResamplePixmap(column, 1, 1);
    EXPECT_EQ(small->pixels[0], 100);
}

TEST(PixmapTransforms, Mirrors) {
    auto src = TPixmap::Create(3, 2, FORMAT_RGB888, 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) src->WritePixel(x, y, 0xFF000000u | uint32_t(y * 3 + x));
    auto mx = MirrorPixmapX(src);
    auto my = MirrorPixmapY(src);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(mx->ReadPixel(x, y), src->ReadPixel(2 - x, y));
            EXPECT_EQ(my->ReadPixel(x, y), src->ReadPixel(x, 1 - y));
        }
    }
}

}  // namespace
}  // namespace corvex

// Outline fonts read from Debian's DejaVu faces (fonts-dejavu-core): metrics known from the
// files (DejaVu Sans has 2048 units per em; at 24 px its line is 28 px, "M" advances 21, "T" and
// "o" 15, and the pair "To" kerns by -4), and pixels drawn through the GL back end: offscreen on
// Linux, in a WGL window on Windows. The build says where DejaVu is (CORVEX_TEST_FONT_DIR).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/freetype.h>
#include <corvex/draw2d/gl/gldriver.h>
#ifndef _WIN32
#include <corvex/graphics/egl_graphics.h>
#endif
#include <corvex/stream/stream.h>

namespace corvex {
namespace {

const char* const kSans = CORVEX_TEST_FONT_DIR "/DejaVuSans.ttf";
const char* const kMath = CORVEX_TEST_FONT_DIR "/DejaVuMathTeXGyre.ttf";
const char* const kSansBold = CORVEX_TEST_FONT_DIR "/DejaVuSans-Bold.ttf";

std::vector<uint8_t> FileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Ref<TImageGlyph> GlyphOf(const Ref<TImageFont>& font, int code) { return font->LoadGlyph(font->CharToGlyph(code)); }

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
void PutBe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// A TrueType collection of the given faces: the "ttcf" header, then each file with its table
// offsets moved to count from the start of the collection.
std::vector<uint8_t> Collection(const std::vector<std::vector<uint8_t>>& faces) {
    std::vector<uint8_t> out(12 + 4 * faces.size(), 0);
    out[0] = 't', out[1] = 't', out[2] = 'c', out[3] = 'f';
    PutBe32(out, 4, 0x00010000);
    PutBe32(out, 8, uint32_t(faces.size()));
    for (size_t f = 0; f < faces.size(); ++f) {
        while (out.size() % 4) out.push_back(0);
        const size_t start = out.size();
        PutBe32(out, 12 + 4 * f, uint32_t(start));
        out.insert(out.end(), faces[f].begin(), faces[f].end());
        const size_t tables = size_t(out[start + 4]) << 8 | out[start + 5];
        for (size_t t = 0; t < tables; ++t) {
            const size_t entry = start + 12 + 16 * t + 8;
            PutBe32(out, entry, Be32(out, entry) + uint32_t(start));
        }
    }
    return out;
}

class FreeTypeFontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StartGLZeph2DModule();
#ifndef _WIN32
        StartEGLGraphicsModule();
#endif
        StartFreeTypeFontModule();
    }
    void SetUp() override {
        if (FileBytes(kSans).empty()) GTEST_SKIP() << "fonts-dejavu-core is not installed (no " << kSans << ")";
    }
    void TearDown() override {
        CloseOpenedGraphics();
        SetGLZeph2DContextDriver(nullptr);
    }
    // A 240 x 80 context (offscreen, or a window on Windows), black, white text blended by coverage.
    static bool Open() {
#ifndef _WIN32
        if (!EGLGraphicsAvailable()) return false;
        SetGLZeph2DContextDriver(EGLGraphicsDriver());
#endif
        if (!OpenGraphics(240, 80, 0, 0, 0)) return false;
        SetClsColor(0, 0, 0);
        Cls();
        SetBlend(BLEND_ALPHA);
        SetColor(255, 255, 255);
        return true;
    }
    static std::string Problem() {
#ifdef _WIN32
        return "no OpenGL window";
#else
        return "no offscreen OpenGL: " + ToUtf8(EGLGraphicsProblem());
#endif
    }
    static Ref<TPixmap> Grab() { return GrabPixmap(0, 0, 240, 80); }
    static int Red(const Ref<TPixmap>& p, int x, int y) { return int((p->ReadPixel(x, y) >> 16) & 255); }
    // Leftmost and rightmost columns with any red, or -1.
    static std::pair<int, int> InkColumns(const Ref<TPixmap>& p) {
        int first = -1, last = -1;
        for (int x = 0; x < p->width; ++x)
            for (int y = 0; y < p->height; ++y)
                if (Red(p, x, y) > 0) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
        return {first, last};
    }
    static bool SamePixels(const Ref<TPixmap>& a, const Ref<TPixmap>& b) {
        for (int y = 0; y < a->height; ++y)
            for (int x = 0; x < a->width; ++x)
                if (a->ReadPixel(x, y) != b->ReadPixel(x, y)) return false;
        return true;
    }
};

TEST_F(FreeTypeFontTest, DejaVuMetricsComeFromTheFace) {
    Ref<TImageFont> font = LoadImageFont(kSans, 24, 0);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->Height(), 28);        // (1901 + 483) units at 24 / 2048
    EXPECT_EQ(font->CountGlyphs(), 6253);
    EXPECT_EQ(GlyphOf(font, 'M')->_advance, 21.0f);
    EXPECT_EQ(GlyphOf(font, 'T')->_advance, 15.0f);
    EXPECT_EQ(GlyphOf(font, 'j')->_advance, 7.0f);
    // The tail of "j" reaches left of the pen (left bearing -37 units); "M" starts right of it.
    Ref<TImageGlyph> j = GlyphOf(font, 'j');
    EXPECT_LT(j->_x, 0);
    EXPECT_GT(GlyphOf(font, 'M')->_x, 0);
    // Its dot starts above the x-height and its tail goes below the baseline (ascent 23).
    EXPECT_GT(j->_y, 0);
    EXPECT_GT(j->_y + j->_h, 23);
    EXPECT_EQ(font->Kerning(font->CharToGlyph('T'), font->CharToGlyph('o')), -4.0f);
    EXPECT_EQ(font->Kerning(font->CharToGlyph('o'), font->CharToGlyph('T')), 0.0f);
    // Glyphs are rasterised only when asked for: one glyph of thousands.
    size_t made = 0;
    for (const auto& g : font->_glyphs) made += g != nullptr;
    EXPECT_EQ(made, 3u);
}

TEST_F(FreeTypeFontTest, InkIsWhiteCoverageAndMonochromeHasNoGreys) {
    Ref<TImageFont> smooth = LoadImageFont(kSans, 24, 0);
    Ref<TImageFont> mono = LoadImageFont(kSans, 24, FONT_MONOCHROME);
    ASSERT_TRUE(smooth && mono);
    auto levels = [](const Ref<TImageGlyph>& g) {
        std::vector<int> seen(256, 0);
        const TPixmap& p = *g->_image->pixmaps[0];
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const uint32_t argb = p.ReadPixel(x, y);
                if (argb >> 24) {
                    EXPECT_EQ(argb & 0xFFFFFFu, 0xFFFFFFu);
                }
                seen[argb >> 24] = 1;
            }
        int count = 0;
        for (int s : seen) count += s;
        return count;
    };
    EXPECT_GT(levels(GlyphOf(smooth, 'o')), 10);  // anti-aliased edges
    EXPECT_EQ(levels(GlyphOf(mono, 'o')), 2);     // ink or nothing
}

TEST_F(FreeTypeFontTest, SyntheticBoldAndItalicWhereTheFaceHasNeither) {
    Ref<TImageFont> regular = LoadImageFont(kSans, 24, 0);
    Ref<TImageFont> bold = LoadImageFont(kSans, 24, FONT_BOLD);
    Ref<TImageFont> italic = LoadImageFont(kSans, 24, FONT_ITALIC);
    ASSERT_TRUE(regular && bold && italic);
    EXPECT_EQ(bold->Style(), FONT_BOLD);
    EXPECT_GT(GlyphOf(bold, 'l')->_w, GlyphOf(regular, 'l')->_w);
    EXPECT_GT(GlyphOf(bold, 'M')->_advance, GlyphOf(regular, 'M')->_advance);
    // A slanted "l" leans right: wider ink, same advance.
    EXPECT_GT(GlyphOf(italic, 'l')->_w, GlyphOf(regular, 'l')->_w + 2);
    EXPECT_EQ(GlyphOf(italic, 'l')->_advance, GlyphOf(regular, 'l')->_advance);
}

TEST_F(FreeTypeFontTest, BadFilesAndSizesGiveNull) {
    const std::vector<uint8_t> sans = FileBytes(kSans);
    EXPECT_FALSE(LoadImageFont("/nonexistent/font.ttf", 24, 0));
    for (int size : {0, -3, FONT_MAX_SIZE + 1, 1 << 30}) EXPECT_FALSE(LoadImageFont(kSans, size, 0)) << size;
    // Truncated: the table directory promises what is not there.
    for (int32_t length : {0, 12, 1000, int32_t(sans.size() / 2)}) {
        auto stream = TRamStream::Create(static_cast<const void*>(sans.data()), length, true);
        EXPECT_FALSE(LoadImageFont(TUrl(stream), 24, 0)) << length;
    }
    // A directory whose tables point far outside the file.
    std::vector<uint8_t> hostile(sans.begin(), sans.begin() + 4096);
    for (size_t i = 12; i + 16 <= 12 + 16 * 8; i += 16) hostile[i + 8] = hostile[i + 9] = 0x7F;
    auto stream = TRamStream::Create(static_cast<const void*>(hostile.data()), int32_t(hostile.size()), true);
    EXPECT_FALSE(LoadImageFont(TUrl(stream), 24, 0));
    // An image file is not a font either, and no other loader claims it.
    const uint8_t png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13};
    EXPECT_FALSE(LoadImageFont(TUrl(TRamStream::Create(static_cast<const void*>(png), int32_t(sizeof png), true)), 24, 0));
}

TEST_F(FreeTypeFontTest, ACollectionGivesTheFaceWithTheAskedStyle) {
    static const std::vector<uint8_t> ttc = Collection({FileBytes(kSans), FileBytes(kSansBold)});
    auto open = [](int style) {
        return LoadImageFont(TUrl(TRamStream::Create(static_cast<const void*>(ttc.data()), int32_t(ttc.size()), true)),
                             24, style);
    };
    Ref<TImageFont> first = open(0), bold = open(FONT_BOLD);
    Ref<TImageFont> boldFile = LoadImageFont(kSansBold, 24, 0);
    Ref<TImageFont> synthetic = LoadImageFont(kSans, 24, FONT_BOLD);
    ASSERT_TRUE(first && bold && boldFile && synthetic);
    EXPECT_EQ(GlyphOf(first, 'M')->_advance, 21.0f);  // face 0: DejaVu Sans
    // The collection's own bold face, not the regular one emboldened.
    for (int code : {'M', 'l', 'o'}) {
        EXPECT_EQ(GlyphOf(bold, code)->_advance, GlyphOf(boldFile, code)->_advance) << char(code);
        EXPECT_EQ(GlyphOf(bold, code)->_w, GlyphOf(boldFile, code)->_w) << char(code);
    }
    EXPECT_NE(GlyphOf(bold, 'M')->_advance, GlyphOf(synthetic, 'M')->_advance);
}

TEST_F(FreeTypeFontTest, AnyUrlServesIncbinIncluded) {
    static const std::vector<uint8_t> sans = FileBytes(kSans);
    RegisterIncbin("test-sans.ttf", sans.data(), int32_t(sans.size()));
    Ref<TImageFont> font = LoadImageFont("incbin::test-sans.ttf", 16, 0);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->CountGlyphs(), 6253);
    EXPECT_EQ(font->Height(), 19);
}

TEST_F(FreeTypeFontTest, JTailDrawsLeftOfThePenAndSurvivesAGraphicsRestart) {
    if (!Open()) GTEST_SKIP() << Problem();
    Ref<TImageFont> font = LoadImageFont(kSans, 24, 0);
    ASSERT_TRUE(font);
    SetImageFont(font);
    DrawText("j", 20, 10);
    Ref<TPixmap> before = Grab();
    const auto [first, last] = InkColumns(before);
    EXPECT_EQ(first, 20 + GlyphOf(font, 'j')->_x);
    EXPECT_LT(first, 20);
    // The drawn ink is the glyph's own coverage, pixel for pixel.
    Ref<TImageGlyph> j = GlyphOf(font, 'j');
    const TPixmap& ink = *j->_image->pixmaps[0];
    int compared = 0;
    for (int y = 0; y < ink.height; ++y)
        for (int x = 0; x < ink.width; ++x) {
            EXPECT_NEAR(Red(before, 20 + j->_x + x, 10 + j->_y + y), int(ink.ReadPixel(x, y) >> 24), 1);
            ++compared;
        }
    EXPECT_GT(compared, 50);

    CloseOpenedGraphics();
    ASSERT_TRUE(Open());
    SetImageFont(font);
    DrawText("j", 20, 10);
    EXPECT_TRUE(SamePixels(before, Grab()));
}

TEST_F(FreeTypeFontTest, KerningMovesDrawTextAndTextWidthAlike) {
    if (!Open()) GTEST_SKIP() << Problem();
    Ref<TImageFont> font = LoadImageFont(kSans, 24, 0);
    ASSERT_TRUE(font);
    SetImageFont(font);
    EXPECT_EQ(TextWidth("To"), 15 + 15 - 4);
    EXPECT_EQ(TextWidth("oT"), 30);
    DrawText("To", 10, 10);
    Ref<TPixmap> kerned = Grab();
    Cls();
    DrawText("T", 10, 10);
    DrawText("o", 10 + 15 - 4, 10);
    EXPECT_TRUE(SamePixels(kerned, Grab()));
    Cls();
    DrawText("T", 10, 10);
    DrawText("o", 10 + 15, 10);
    EXPECT_FALSE(SamePixels(kerned, Grab()));
}

TEST_F(FreeTypeFontTest, MissingCharactersAreSkippedAndAstralOnesDraw) {
    if (!Open()) GTEST_SKIP() << Problem();
    Ref<TImageFont> sans = LoadImageFont(kSans, 24, 0);
    ASSERT_TRUE(sans);
    SetImageFont(sans);
    EXPECT_EQ(sans->CharToGlyph(0x4E2D), -1);  // no CJK in DejaVu Sans
    EXPECT_EQ(TextWidth(u"M\u4E2DM"), TextWidth(u"MM"));
    DrawText(u"\u4E2D", 10, 10);
    EXPECT_EQ(InkColumns(Grab()).first, -1);

    // Mathematical bold capital A, U+1D400, reaches the font as one character, not two halves.
    Ref<TImageFont> math = LoadImageFont(kMath, 24, 0);
    ASSERT_TRUE(math);
    SetImageFont(math);
    const int index = math->CharToGlyph(0x1D400);
    ASSERT_GE(index, 0);
    EXPECT_EQ(TextWidth(u"\U0001D400"), int(math->LoadGlyph(index)->_advance));
    EXPECT_EQ(TextWidth("\xF0\x9D\x90\x80"), TextWidth(u"\U0001D400"));  // the same from UTF-8
    DrawText(u"\U0001D400", 10, 10);
    EXPECT_GE(InkColumns(Grab()).first, 10);
}

}  // namespace
}  // namespace corvex

// Runs of vertices drawn with one call, in a real window (Xvfb with Mesa): every scene is drawn
// once through the immediate calls and once in runs, and the two windows must match pixel for
// pixel. Also: runs are drawn before anything uses the frame buffer, state changes end them,
// glyphs drawn from a font's atlas match glyphs drawn from their own textures, and a program's
// own GL calls see the drawing that came before them.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/graphics/egl_graphics.h>
#include "draw2d/gl/glrender.h"

namespace corvex {
namespace {

constexpr int kWidth = 320, kHeight = 240;

// Counts draw calls and binds, and still makes them.
class TDrawCounter : public TGLFunctions {
public:
    int draws = 0, begins = 0, binds = 0;
    void DrawArrays(GLenum mode, GLint first, GLsizei count) override {
        ++draws;
        TGLFunctions::DrawArrays(mode, first, count);
    }
    void Begin(GLenum mode) override {
        ++begins;
        TGLFunctions::Begin(mode);
    }
    void BindTexture(GLenum target, GLuint name) override {
        ++binds;
        TGLFunctions::BindTexture(target, name);
    }
};

// Counts the texels sent to textures, and still sends them.
class TUploadCounter : public TGLFunctions {
public:
    long texels = 0;  // through TexSubImage2D
    int allocations = 0;  // TexImage2D of a real texture (not the size probe)
    void TexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height, GLint border,
                    GLenum format, GLenum type, const void* pixels) override {
        if (target == GL_TEXTURE_2D) ++allocations;
        TGLFunctions::TexImage2D(target, level, internal_format, width, height, border, format, type, pixels);
    }
    void TexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                       GLenum type, const void* pixels) override {
        texels += long(width) * height;
        TGLFunctions::TexSubImage2D(target, level, x, y, width, height, format, type, pixels);
    }
};

Ref<TPixmap> Stripes(int w, int h, int flags_seed) {
    Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t r = uint32_t((x * 37 + flags_seed * 50) & 255), g = uint32_t((y * 23) & 255);
            uint32_t a = (x + y) % 5 == 0 ? 0x40u : 0xFFu;
            p->WritePixel(x, y, a << 24 | r << 16 | g << 8 | uint32_t(flags_seed * 70 & 255));
        }
    return p;
}

class GLBatchDisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartGLZeph2DModule(); }
    void SetUp() override { ASSERT_TRUE(OpenGraphics(kWidth, kHeight, 0, 0, 0)) << "no window"; }
    void TearDown() override {
        SetGLFunctions(nullptr);
        GLSetBatching(true);
        CloseOpenedGraphics();
    }

    // The window after scene, drawn from a cleared window in a neutral drawing state.
    static Ref<TPixmap> Render(bool batching, const std::function<void()>& scene) {
        GLSetBatching(batching);
        SetViewport(0, 0, kWidth, kHeight);
        SetBlend(BLEND_SOLID);
        SetColor(255, 255, 255);
        SetAlpha(1);
        SetRotationAndScale(0, 1, 1);
        SetLineWidth(1);
        SetClsColor(30, 60, 90);
        Cls();
        scene();
        return GrabPixmap(0, 0, kWidth, kHeight);
    }

    // Empty when both pixmaps hold the same pixels; otherwise how many differ and the first one.
    static std::string Difference(const Ref<TPixmap>& a, const Ref<TPixmap>& b) {
        int differ = 0, fx = -1, fy = -1;
        for (int y = 0; y < a->height; ++y)
            for (int x = 0; x < a->width; ++x)
                if (a->ReadPixel(x, y) != b->ReadPixel(x, y)) {
                    if (differ++ == 0) fx = x, fy = y;
                }
        if (differ == 0) return "";
        std::ostringstream out;
        out << differ << " pixels differ, first at (" << fx << ", " << fy << "): " << std::hex << a->ReadPixel(fx, fy)
            << " against " << b->ReadPixel(fx, fy);
        return out.str();
    }

    static std::string RunsAgainstImmediate(const std::function<void()>& scene) {
        Ref<TPixmap> immediate = Render(false, scene);
        Ref<TPixmap> batched = Render(true, scene);
        return Difference(immediate, batched);
    }
};

const int kBlendModes[] = {BLEND_MASK, BLEND_SOLID, BLEND_ALPHA, BLEND_ADDITIVE, BLEND_MULTIPLY};

TEST_F(GLBatchDisplayTest, EveryPrimitiveBlendModeAndTextMatchesTheImmediateCalls) {
    Ref<TImage> plain = LoadImage(Stripes(24, 20, 1), 0);
    Ref<TImage> filtered = LoadImage(Stripes(30, 17, 2), IMAGE_FILTERED);
    Ref<TImage> mipmapped = LoadImage(Stripes(40, 40, 3), IMAGE_FILTERED | IMAGE_MIPMAPPED);
    Ref<TImage> masked = LoadImage(Stripes(16, 16, 4)->Convert(FORMAT_RGB888), IMAGE_MASKED);
    MidHandleImage(filtered);
    for (int mode : kBlendModes) {
        std::string diff = RunsAgainstImmediate([&] {
            SetBlend(mode);
            for (int i = 0; i < 12; ++i) {
                // A different colour and alpha for every shape: they travel in the vertices.
                SetColor(40 + i * 17, 255 - i * 19, 90 + i * 11);
                SetAlpha(0.3f + 0.06f * float(i));
                SetRotationAndScale(float(i) * 31.0f, 1.0f + 0.2f * float(i % 3), 0.7f + 0.25f * float(i % 4));
                float x = float(20 + (i % 6) * 50), y = float(30 + (i / 6) * 100);
                DrawRect(x, y, 18, 11);
                DrawImage(plain, x + 10, y + 25);
                DrawImage(filtered, x + 20, y + 50);
                DrawImageRect(mipmapped, x, y + 60, 13, 9);
                DrawImage(masked, x + 30, y + 10);
                SetLineWidth(i % 3 == 0 ? 3.0f : 1.0f);
                DrawLine(x, y, x + 30, y + 17);
                Plot(x + 3, y + 40);
                Plot(x + 4, y + 40);
                DrawOval(x - 5, y + 70, 21, 13);
                DrawPoly({x, y + 5, x + 20, y + 8, x + 9, y + 30});
                DrawText("Ag%~", x, y + 80);
            }
            SetRotationAndScale(0, 1, 1);
            TileImage(plain, 3, 5);
        });
        EXPECT_EQ(diff, "") << "blend mode " << mode;
    }
}

TEST_F(GLBatchDisplayTest, StateChangesInsideASceneEndTheRunBeforeThem) {
    // Each change below would draw the shapes before it wrongly if it were applied to them.
    Ref<TImage> a = LoadImage(Stripes(8, 8, 5), 0);
    Ref<TImage> b = LoadImage(Stripes(8, 8, 6), 0);
    std::string diff = RunsAgainstImmediate([&] {
        SetBlend(BLEND_ALPHA);
        SetAlpha(0.5f);
        DrawRect(10, 10, 60, 60);
        SetBlend(BLEND_ADDITIVE);
        DrawRect(30, 30, 60, 60);
        SetBlend(BLEND_MULTIPLY);
        DrawRect(50, 50, 60, 60);
        SetBlend(BLEND_SOLID);
        for (int i = 0; i < 20; ++i) DrawImage(i % 2 ? a : b, float(120 + i * 6), 20);  // texture switches
        SetViewport(120, 40, 50, 30);
        DrawRect(100, 30, 100, 60);  // clipped
        SetViewport(0, 0, kWidth, kHeight);
        DrawRect(100, 100, 10, 10);  // not clipped
        SetLineWidth(5);
        DrawLine(10, 150, 100, 160);
        SetLineWidth(1);
        DrawLine(10, 170, 100, 180);
        DrawRect(200, 150, 20, 20);  // lines, then quads, then points
        Plot(230, 150);
        DrawRect(240, 150, 20, 20);
    });
    EXPECT_EQ(diff, "");

    // More quads than one run holds: the run is drawn when it is full and goes on.
    size_t quads = TGLRun::kRunCapacity / 4 * 2 + 37;
    diff = RunsAgainstImmediate([&] {
        SetBlend(BLEND_ALPHA);
        for (size_t i = 0; i < quads; ++i) {
            SetColor(int(i * 7 % 256), int(i * 13 % 256), int(i % 256));
            SetAlpha(0.5f);
            DrawImage(a, float(i * 3 % 300), float(i / 100 * 10));
        }
    });
    EXPECT_EQ(diff, "");
}

TEST_F(GLBatchDisplayTest, OneRunPerTextureAndColoursDoNotLeakBetweenImages) {
    Ref<TPixmap> white = TPixmap::Create(8, 8, FORMAT_RGBA8888, 4);
    white->ClearPixels(0xFFFFFFFF);
    Ref<TImage> image = LoadImage(white, 0);
    Render(true, [] {});
    DrawImage(image, 0, 0);  // the frame is made outside the counted scene
    TDrawCounter counter;
    SetGLFunctions(&counter);
    const int colours[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (int i = 0; i < 100; ++i) {
        SetColor(colours[i % 4][0], colours[i % 4][1], colours[i % 4][2]);
        DrawImage(image, float(i % 10 * 10), float(i / 10 * 10));
    }
    EXPECT_EQ(counter.draws, 0) << "nothing drawn while the run grows";
    Ref<TPixmap> shot = GrabPixmap(0, 0, 100, 100);
    EXPECT_EQ(counter.draws, 1) << "a hundred tinted images of one texture are one call";
    EXPECT_EQ(counter.begins, 0);
    for (int i = 0; i < 100; ++i) {
        uint32_t want = 0xFF000000u | uint32_t(colours[i % 4][0]) << 16 | uint32_t(colours[i % 4][1]) << 8 |
                        uint32_t(colours[i % 4][2]);
        EXPECT_EQ(shot->ReadPixel(i % 10 * 10 + 4, i / 10 * 10 + 4), want) << "image " << i;
    }
    SetGLFunctions(nullptr);
}

TEST_F(GLBatchDisplayTest, PendingRunsAreDrawnBeforeTheFrameBufferIsUsed) {
    Render(true, [] {});
    SetColor(255, 0, 0);
    DrawRect(10, 10, 20, 20);
    EXPECT_EQ(GrabPixmap(15, 15, 1, 1)->ReadPixel(0, 0), 0xFFFF0000u) << "GrabPixmap sees the pending rectangle";

    DrawRect(40, 10, 20, 20);
    Cls();
    EXPECT_EQ(GrabPixmap(45, 15, 1, 1)->ReadPixel(0, 0), 0xFF1E3C5Au) << "a run from before Cls is not drawn over it";

    Ref<TPixmap> blue = TPixmap::Create(4, 4, FORMAT_RGBA8888, 4);
    blue->ClearPixels(0xFF0000FF);
    DrawRect(70, 10, 20, 20);
    DrawPixmap(blue, 72, 12);
    EXPECT_EQ(GrabPixmap(73, 13, 1, 1)->ReadPixel(0, 0), 0xFF0000FFu) << "DrawPixmap lands on top";

    TDrawCounter counter;
    SetGLFunctions(&counter);
    DrawRect(100, 10, 20, 20);
    Flip(0);
    EXPECT_EQ(counter.draws, 1) << "Flip draws the pending run first";
    EXPECT_EQ(GLZeph2DModule().run.count, 0u);
    SetGLFunctions(nullptr);
}

// A font whose glyphs are blocks of strong, different colours, so that any texel taken from a
// neighbour in the atlas shows. Glyph i of the font is the block of colour i.
Ref<TImageFont> BlockFont(int flags) {
    auto font = std::make_shared<TImageFont>();
    const uint32_t colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0x00000000, 0xFFFF00FF};
    for (int i = 0; i < 96; ++i) {
        int w = 5 + i % 7, h = 9 + i % 5;  // sizes that are and are not powers of two
        Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
        p->ClearPixels(colours[i % 6]);
        p->WritePixel(0, 0, 0xFF808000);
        auto glyph = std::make_shared<TImageGlyph>();
        glyph->_advance = float(w + 1);
        glyph->_w = w;
        glyph->_h = h;
        glyph->_image = TImage::Load(p, flags, 0, 0, 0);
        font->_glyphs.push_back(glyph);
    }
    return font;
}

// Draws text as separate images of the glyphs, with the pen moving as DrawText moves it: each
// glyph from a texture of its own, the reference for the atlas.
void DrawGlyphsAlone(const Ref<TImageFont>& font, const std::string& text, float x, float y) {
    float ix, iy, jx, jy;
    {
        TZeph2DGraphics& s = *TZeph2DGraphics::Current();
        ix = s.tform_ix, iy = s.tform_iy, jx = s.tform_jx, jy = s.tform_jy;
    }
    for (char c : text) {
        int index = font->CharToGlyph(c);
        if (index < 0) continue;
        Ref<TImageGlyph> glyph = font->LoadGlyph(index);
        float gx = float(glyph->_x), gy = float(glyph->_y);
        if (glyph->_image)
            DrawImage(glyph->_image, gx * ix + gy * iy + x, gx * jx + gy * jy + y);
        x = x + glyph->_advance * ix;
        y = y + glyph->_advance * jx;
    }
}

// How the atlas picture differs from the reference. Where a pixel centre falls exactly on the
// border between two texels, the two texture coordinates (one from an offset in a larger texture)
// may round to either side: nearest sampling may then show the other texel of the same glyph, and
// linear weights may move by a unit. Anything else (a neighbour's texel) is a fault.
struct TAtlasCheck {
    int ties = 0, faults = 0;
    std::string first_fault;
};

TAtlasCheck CompareGlyphs(const Ref<TPixmap>& reference, const Ref<TPixmap>& atlas, bool filtered) {
    const uint32_t marker = 0xFF808000;
    TAtlasCheck check;
    for (int y = 0; y < reference->height; ++y)
        for (int x = 0; x < reference->width; ++x) {
            uint32_t a = reference->ReadPixel(x, y), b = atlas->ReadPixel(x, y);
            if (a == b) continue;
            bool tie = false;
            if (filtered) {
                tie = true;
                for (int shift : {0, 8, 16}) tie = tie && std::abs(int(a >> shift & 255) - int(b >> shift & 255)) <= 1;
            } else {
                tie = a == marker || b == marker;  // the glyph's own two texels
            }
            if (tie) {
                ++check.ties;
            } else if (check.faults++ == 0) {
                std::ostringstream out;
                out << "(" << x << ", " << y << "): " << std::hex << a << " against " << b;
                check.first_fault = out.str();
            }
        }
    return check;
}

TEST_F(GLBatchDisplayTest, GlyphsFromTheAtlasSampleOnlyThemselvesFilteredScaledOrTurned) {
    std::string text;
    for (int c = 32; c < 128; ++c) text += char(c);
    struct Case {
        int flags;
        float degrees, sx, sy;
        bool exact;  // no pixel centre can fall on a texel border
    };
    const Case cases[] = {{0, 0, 1, 1, true},
                          {IMAGE_FILTERED, 0, 1, 1, true},
                          {0, 0, 2, 3, true},
                          {IMAGE_FILTERED, 0, 2.7f, 3.3f, false},
                          {0, 0, 3.5f, 2.5f, false},
                          {IMAGE_FILTERED, 33, 1.7f, 1.7f, false},
                          {0, 147, 2.2f, 1.3f, false},
                          {IMAGE_FILTERED | IMAGE_MIPMAPPED, 20, 0.4f, 0.6f, true}};  // own textures
    for (const Case& c : cases) {
        Ref<TImageFont> font = BlockFont(c.flags);
        for (int blend : {BLEND_MASK, BLEND_ALPHA}) {
            auto scene = [&](bool atlas) {
                return Render(true, [&] {
                    SetBlend(blend);
                    SetImageFont(font);
                    SetRotationAndScale(c.degrees, c.sx, c.sy);
                    for (int line = 0; line < 4; ++line) {
                        std::string part = text.substr(size_t(line) * 24, 24);
                        float x = 10 + float(line) * 7, y = 10 + float(line) * 55;
                        if (atlas) {
                            DrawText(part, x, y);
                        } else {
                            DrawGlyphsAlone(font, part, x, y);
                        }
                    }
                    SetImageFont(nullptr);
                });
            };
            Ref<TPixmap> reference = scene(false), atlas = scene(true);
            std::string where = "flags " + std::to_string(c.flags) + " turn " + std::to_string(c.degrees) +
                                " scale " + std::to_string(c.sx) + " x " + std::to_string(c.sy) + " blend " +
                                std::to_string(blend);
            if (c.exact) {
                EXPECT_EQ(Difference(reference, atlas), "") << where;
            } else {
                TAtlasCheck check = CompareGlyphs(reference, atlas, c.flags & IMAGE_FILTERED);
                EXPECT_EQ(check.faults, 0) << where << ", first at " << check.first_fault;
                EXPECT_LT(check.ties, 200) << where;
            }
        }
    }

    // The built-in font the same way: plain, then doubled.
    Ref<TImageFont> builtin = GetImageFont();
    for (float scale : {1.0f, 2.0f}) {
        auto scene = [&](bool atlas) {
            return Render(true, [&] {
                SetBlend(BLEND_MASK);
                SetScale(scale, scale);
                if (atlas) {
                    DrawText(text.substr(0, 30), 15, 20);
                    DrawText(text.substr(30, 30), 15, 60);
                } else {
                    DrawGlyphsAlone(builtin, text.substr(0, 30), 15, 20);
                    DrawGlyphsAlone(builtin, text.substr(30, 30), 15, 60);
                }
            });
        };
        EXPECT_EQ(Difference(scene(false), scene(true)), "") << "scale " << scale;
    }
}

// A source font of coloured blocks, handing out glyphs one by one as text needs them.
class TBlockSource : public TFont {
public:
    class Glyph : public TGlyph {
    public:
        Ref<TPixmap> ink;
        Ref<TObject> Pixels() override { return ink; }
        float Advance() override { return float(ink->width + 1); }
        void GetRect(int& x, int& y, int& width, int& height) override {
            x = y = 0;
            width = ink->width;
            height = ink->height;
        }
    };
    int Style() override { return 0; }
    int Height() override { return 16; }
    int CountGlyphs() override { return 96; }
    int CharToGlyph(int code) override { return code >= 32 && code < 128 ? code - 32 : -1; }
    Ref<TGlyph> LoadGlyph(int index) override {
        auto glyph = std::make_shared<Glyph>();
        glyph->ink = TPixmap::Create(6 + index % 5, 10 + index % 3, FORMAT_RGBA8888, 4);
        glyph->ink->ClearPixels(0xFF000000u | uint32_t(index * 0x2A1F37));
        glyph->ink->WritePixel(1, 1, 0xFFFFFFFFu);
        return glyph;
    }
};

// Texels in the atlas cell of a w x h glyph: the glyph and the edge copies around it.
long CellTexels(int w, int h) { return long(w + 4) * (h + 4); }

TEST_F(GLBatchDisplayTest, AGlyphEditedInPlaceRedrawsWithItsNewPixels) {
    Ref<TImageFont> font = BlockFont(0);
    auto scene = [&](bool atlas) {
        return Render(true, [&] {
            SetBlend(BLEND_ALPHA);
            SetImageFont(font);
            if (atlas) {
                DrawText("ABC", 20, 20);
            } else {
                DrawGlyphsAlone(font, "ABC", 20, 20);
            }
            SetImageFont(nullptr);
        });
    };
    EXPECT_EQ(Difference(scene(false), scene(true)), "");
    Ref<TImage> b = font->_glyphs['B' - 32]->_image;
    Ref<TPixmap> pixels = LockImage(b);
    pixels->ClearPixels(0xFF20C0E0u);
    pixels->WritePixel(2, 3, 0xFFFFFF00u);
    UnlockImage(b);
    TUploadCounter counter;
    SetGLFunctions(&counter);
    Ref<TPixmap> atlas = scene(true);
    SetGLFunctions(nullptr);
    EXPECT_EQ(Difference(scene(false), atlas), "") << "DrawText and DrawImage of the edited glyph agree";
    EXPECT_EQ(atlas->ReadPixel(20 + int(font->_glyphs[0x21]->_advance) + 2, 23), 0xFFFFFF00u);
    EXPECT_GT(counter.texels, 0) << "the edit reached the texture";
    EXPECT_LE(counter.texels, CellTexels(b->width, b->height)) << "only the glyph's cell is sent";
    EXPECT_EQ(counter.allocations, 0) << "no texture is made anew";
}

TEST_F(GLBatchDisplayTest, ANewGlyphUploadsOnlyItsOwnCell) {
    auto font = std::make_shared<TImageFont>();
    font->_src_font = std::make_shared<TBlockSource>();
    font->_glyphs.assign(96, nullptr);
    auto scene = [&](const std::string& text, bool atlas) {
        return Render(true, [&] {
            SetBlend(BLEND_ALPHA);
            SetImageFont(font);
            if (atlas) {
                DrawText(text, 10, 10);
            } else {
                DrawGlyphsAlone(font, text, 10, 10);
            }
            SetImageFont(nullptr);
        });
    };
    scene("Hello", true);  // the atlas is made with these
    for (char c : std::string("XYZ")) {
        TUploadCounter counter;
        SetGLFunctions(&counter);
        scene(std::string("Hello") + c, true);
        SetGLFunctions(nullptr);
        Ref<TImage> glyph = font->_glyphs[size_t(c - 32)]->_image;
        ASSERT_TRUE(glyph);
        EXPECT_GT(counter.texels, 0) << c;
        EXPECT_LE(counter.texels, CellTexels(glyph->width, glyph->height)) << c << ": only its cell is sent";
        EXPECT_EQ(counter.allocations, 0) << c;
    }
    EXPECT_EQ(Difference(scene("HelloXYZ", false), scene("HelloXYZ", true)), "");
}

// A single-buffered offscreen context presents what has been drawn so far: the pending run too.
TEST(GLOffscreenPresentTest, SingleBufferedFrontShowsTheRectangleWithoutFlushDrawing) {
    StartGLZeph2DModule();
    StartEGLGraphicsModule();
    if (!EGLGraphicsAvailable()) GTEST_SKIP() << ToUtf8(EGLGraphicsProblem());
    SetGLZeph2DContextDriver(EGLGraphicsDriver());
    SelectGraphicsDriver(GLZeph2DDriver(), 0);
    auto opened = std::dynamic_pointer_cast<TZeph2DGraphics>(OpenGraphics(64, 48, 0, 0, 0));
    ASSERT_TRUE(opened);
    auto egl = std::dynamic_pointer_cast<TEGLGraphics>(opened->_graphics);
    ASSERT_TRUE(egl);
    int32_t w = 0, h = 0, d = 0, hz = 0, flags = -1;
    egl->GetSettings(&w, &h, &d, &hz, &flags);
    EXPECT_EQ(flags & GFX_DOUBLE_BUFFER, 0);
    SetClsColor(0, 0, 255);
    Cls();
    SetColor(255, 0, 0);
    DrawRect(10, 10, 20, 20);
    Ref<TPixmap> front = egl->ReadFront();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->ReadPixel(15, 15), 0xFFFF0000u) << "the rectangle";
    EXPECT_EQ(front->ReadPixel(40, 40), 0xFF0000FFu) << "the clear colour around it";
    CloseOpenedGraphics();
    SetGLZeph2DContextDriver(nullptr);
}

// The ink of glyph g of the built-in font at (column, row).
bool Ink(int code, int column, int row) { return IncbinData("tundrafont.bin")[row * 96 + code - 32] >> column & 1; }

TEST_F(GLBatchDisplayTest, TextAfterGraphicsAreClosedAndReopened) {
    for (int round = 0; round < 3; ++round) {
        Render(true, [] {
            SetBlend(BLEND_MASK);
            DrawText("Hi", 20, 20);
        });
        TDrawCounter counter;
        SetGLFunctions(&counter);
        Render(true, [] {
            SetBlend(BLEND_MASK);
            DrawText("Hi there", 20, 20);
        });
        SetGLFunctions(nullptr);
        EXPECT_EQ(counter.binds, 0) << "the font's texture is already bound";
        Ref<TPixmap> grabbed = GrabPixmap(20, 20, 16, 16);
        for (int code : {'H', 'i'})
            for (int row = 0; row < 16; ++row)
                for (int col = 0; col < 8; ++col) {
                    uint32_t want = Ink(code, col, row) ? 0xFFFFFFFFu : 0xFF1E3C5Au;
                    ASSERT_EQ(grabbed->ReadPixel((code == 'i') * 8 + col, row), want)
                        << "round " << round << " " << char(code) << " " << col << ", " << row;
                }
        CloseOpenedGraphics();
        ASSERT_TRUE(OpenGraphics(kWidth, kHeight, 0, 0, 0));
    }
}

TEST_F(GLBatchDisplayTest, OwnGLCallsAfterFlushDrawingSeeTheDrawingBeforeThem) {
    Render(true, [] {});
    SetColor(255, 0, 0);
    DrawRect(10, 10, 40, 40);
    SetColor(0, 255, 0);  // the current colour, as the program's own calls use it
    FlushDrawing();
    glBegin(GL_QUADS);
    glVertex2f(30, 30);
    glVertex2f(60, 30);
    glVertex2f(60, 60);
    glVertex2f(30, 60);
    glEnd();
    DrawRect(55, 55, 20, 20);
    Ref<TPixmap> shot = GrabPixmap(0, 0, 100, 100);
    EXPECT_EQ(shot->ReadPixel(20, 20), 0xFFFF0000u);
    EXPECT_EQ(shot->ReadPixel(40, 40), 0xFF00FF00u) << "the program's quad lies over the flushed rectangle";
    EXPECT_EQ(shot->ReadPixel(57, 57), 0xFF00FF00u) << "drawing after it lies over it";

    // With nothing pending, FlushDrawing still hands over a colour set since the last run.
    SetColor(0, 0, 255);
    FlushDrawing();
    glBegin(GL_POINTS);
    glVertex2f(80.5f, 80.5f);
    glEnd();
    EXPECT_EQ(GrabPixmap(80, 80, 1, 1)->ReadPixel(0, 0), 0xFF0000FFu);
}

}  // namespace
}  // namespace corvex

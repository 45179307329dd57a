// Rendering through the OpenGL back end, read back with GrabPixmap: blend modes, clamping,
// placement, rotation, images, text, tiling, scissoring, DrawPixmap, and images surviving a new
// context. Every case runs over both plain OpenGL drivers: in a real window (Xvfb with Mesa) and
// in an offscreen buffer (EGL, no display); both are drawn by the same rasterizer, so the same
// frame must give the same pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/graphics/egl_graphics.h>
#include <corvex/graphics/gl_graphics.h>
#include "draw2d/gl/glframe.h"
#include "draw2d/gl/glrender.h"
#include "draw2d/gl/glzeph2d_module.h"

namespace corvex {
namespace {

constexpr int kWidth = 320, kHeight = 240;

// Counts the calls that reach OpenGL, and still makes them.
class TCountingGL : public TGLFunctions {
public:
    int blend_state_calls = 0, binds = 0, deletes = 0;
    void Enable(GLenum cap) override {
        Note(cap);
        TGLFunctions::Enable(cap);
    }
    void Disable(GLenum cap) override {
        Note(cap);
        TGLFunctions::Disable(cap);
    }
    void BlendFunc(GLenum s, GLenum d) override {
        ++blend_state_calls;
        TGLFunctions::BlendFunc(s, d);
    }
    void BindTexture(GLenum target, GLuint name) override {
        ++binds;
        TGLFunctions::BindTexture(target, name);
    }
    void DeleteTextures(GLsizei n, const GLuint* names) override {
        deletes += n;
        TGLFunctions::DeleteTextures(n, names);
    }

private:
    void Note(GLenum cap) {
        if (cap == GL_BLEND || cap == GL_ALPHA_TEST) ++blend_state_calls;
    }
};

struct RGB {
    int r, g, b;
};

RGB At(const Ref<TPixmap>& p, int x, int y) {
    uint32_t v = p->ReadPixel(x, y);
    return {int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)};
}

RGB Probe(int x, int y) { return At(GrabPixmap(x, y, 1, 1), 0, 0); }

::testing::AssertionResult Near(RGB got, RGB want, int tolerance = 2) {
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << "), want ("
                                         << want.r << ", " << want.g << ", " << want.b << ")";
}

enum class Backend { Window, Offscreen };

bool HaveDisplay() { return std::getenv("DISPLAY") && *std::getenv("DISPLAY"); }

void Start() {
    StartGLZeph2DModule();
    StartEGLGraphicsModule();
}

// Chooses the plain driver under the back end; false (with the test skipped) when it cannot work here.
bool Use(Backend backend) {
    if (backend == Backend::Window) {
        if (!HaveDisplay()) return false;
        SetGLZeph2DContextDriver(GLGraphicsDriver());
    } else {
        if (!EGLGraphicsAvailable()) return false;
        SetGLZeph2DContextDriver(EGLGraphicsDriver());
    }
    return true;
}

class GLDisplayTest : public ::testing::TestWithParam<Backend> {
protected:
    static void SetUpTestSuite() { Start(); }
    void SetUp() override {
        if (!Use(GetParam())) GTEST_SKIP() << "this driver cannot work here";
        ASSERT_TRUE(OpenGraphics(kWidth, kHeight, 0, 0, 0)) << "no window";
        SetClsColor(100, 50, 200);
        Cls();
    }
    void TearDown() override {
        SetGLFunctions(nullptr);
        CloseOpenedGraphics();
    }
    static Ref<TPixmap> Solid(int w, int h, uint32_t argb) {
        Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
        p->ClearPixels(argb);
        return p;
    }
};

TEST_P(GLDisplayTest, TheBackEndIsTheDefaultDriver) {
    EXPECT_EQ(GraphicsDriver(), GLZeph2DDriver());
    EXPECT_EQ(GLZeph2DDriver()->ToString(), u"OpenGL");
    EXPECT_EQ(CurrentGraphicsFlags() & GFX_DOUBLE_BUFFER, GFX_DOUBLE_BUFFER);
    ASSERT_TRUE(TZeph2DGraphics::Current());
    EXPECT_EQ(TZeph2DGraphics::Current()->_setup, 1);
    EXPECT_EQ(IncbinSize("gldrawtextfont.bin"), 1536);
    EXPECT_EQ(0, std::memcmp(IncbinData("gldrawtextfont.bin"), IncbinData("tundrafont.bin"), 1536));
    EXPECT_TRUE(Near(Probe(5, 5), {100, 50, 200}));
}

TEST_P(GLDisplayTest, EachBlendModeCombinesAsDocumented) {
    struct Case {
        int mode;
        float alpha;
        RGB colour, want;
    };
    const Case cases[] = {
        {BLEND_SOLID, 0.5f, {255, 0, 0}, {255, 0, 0}},
        {BLEND_MASK, 0.5f, {255, 0, 0}, {100, 50, 200}},  // 127/255 is below the 0.5 reference
        {BLEND_MASK, 0.51f, {255, 0, 0}, {255, 0, 0}},
        {BLEND_ALPHA, 0.5f, {255, 0, 0}, {177, 25, 100}},
        {BLEND_ADDITIVE, 0.5f, {100, 0, 10}, {150, 50, 205}},
        {BLEND_MULTIPLY, 1.0f, {128, 255, 0}, {50, 50, 0}},
        {77, 0.0f, {0, 255, 0}, {0, 255, 0}},  // unknown modes are solid
    };
    int x = 0;
    for (const Case& c : cases) {
        SetBlend(c.mode);
        SetAlpha(c.alpha);
        SetColor(c.colour.r, c.colour.g, c.colour.b);
        DrawRect(float(x), 0, 10, 10);
        EXPECT_TRUE(Near(Probe(x + 5, 5), c.want)) << "mode " << c.mode << " alpha " << c.alpha;
        x += 20;
    }
}

TEST_P(GLDisplayTest, OutOfRangeColourAndAlphaAreClamped) {
    SetBlend(BLEND_ALPHA);
    SetAlpha(1.5f);
    SetColor(300, -4, 128);
    DrawRect(0, 0, 10, 10);
    EXPECT_TRUE(Near(Probe(5, 5), {255, 0, 128}));
    SetAlpha(-0.2f);
    SetColor(0, 0, 0);
    DrawRect(0, 0, 10, 10);
    EXPECT_TRUE(Near(Probe(5, 5), {255, 0, 128})) << "alpha below 0 draws nothing";
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(GetAlpha(), -0.2f);
}

TEST_P(GLDisplayTest, RectanglesAreHeldByTheirHandleAndTurnClockwise) {
    SetBlend(BLEND_SOLID);
    SetColor(255, 255, 255);
    SetHandle(10, 5);
    SetOrigin(20, 30);
    DrawRect(100, 100, 20, 10);  // covers x 110..129, y 125..134
    EXPECT_TRUE(Near(Probe(110, 125), {255, 255, 255}));
    EXPECT_TRUE(Near(Probe(129, 134), {255, 255, 255}));
    EXPECT_TRUE(Near(Probe(109, 130), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(130, 130), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(120, 135), {100, 50, 200}));

    // A quarter turn clockwise: the 40 x 10 bar from (200, 100) points down the window.
    SetHandle(0, 0);
    SetOrigin(0, 0);
    SetRotation(90);
    SetColor(0, 255, 0);
    DrawRect(200, 100, 40, 10);
    EXPECT_TRUE(Near(Probe(195, 135), {0, 255, 0}));
    EXPECT_TRUE(Near(Probe(220, 105), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(205, 120), {100, 50, 200}));
}

TEST_P(GLDisplayTest, LinesLightTheirLastPixelAndPlotsHitTheirPixel) {
    SetBlend(BLEND_SOLID);
    SetColor(255, 255, 0);
    DrawLine(10, 50, 20, 50);
    EXPECT_TRUE(Near(Probe(10, 50), {255, 255, 0}));
    EXPECT_TRUE(Near(Probe(20, 50), {255, 255, 0}));
    EXPECT_TRUE(Near(Probe(21, 50), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(15, 51), {100, 50, 200}));
    Plot(40, 60);
    EXPECT_TRUE(Near(Probe(40, 60), {255, 255, 0}));
    EXPECT_TRUE(Near(Probe(41, 60), {100, 50, 200}));
    DrawOval(100, 100, 40, 20);
    EXPECT_TRUE(Near(Probe(120, 110), {255, 255, 0}));
    EXPECT_TRUE(Near(Probe(101, 101), {100, 50, 200})) << "corner outside the ellipse";
    DrawPoly({200, 100, 240, 100, 200, 140});
    EXPECT_TRUE(Near(Probe(205, 105), {255, 255, 0}));
    EXPECT_TRUE(Near(Probe(235, 135), {100, 50, 200}));
}

TEST_P(GLDisplayTest, ImagesDrawAboutTheirMidHandleAndTurnWithRotation) {
    // Left half red, right half green; black corner pixel keyed away by the default flags.
    Ref<TPixmap> p = TPixmap::Create(64, 32, FORMAT_RGB888, 4);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) p->WritePixel(x, y, x < 32 ? 0xFFFF0000 : 0xFF00FF00);
    SetAutoMidHandle(1);
    Ref<TImage> image = LoadImage(p);
    SetAutoMidHandle(0);
    DrawImage(image, 100, 100);  // covers 68..131 x 84..115
    EXPECT_TRUE(Near(Probe(70, 100), {255, 0, 0}));
    EXPECT_TRUE(Near(Probe(129, 100), {0, 255, 0}));
    EXPECT_TRUE(Near(Probe(66, 100), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(100, 117), {100, 50, 200}));

    SetRotation(180);
    DrawImage(image, 250, 100);
    EXPECT_TRUE(Near(Probe(222, 100), {0, 255, 0})) << "turned half round: green on the left";
    EXPECT_TRUE(Near(Probe(278, 100), {255, 0, 0}));
    SetRotation(0);

    // The same image in a new context: the frame is remade from the kept pixmap.
    CloseOpenedGraphics();
    ASSERT_TRUE(OpenGraphics(kWidth, kHeight, 0, 0, 0));
    SetClsColor(100, 50, 200);
    Cls();
    DrawImage(image, 100, 100);
    EXPECT_TRUE(Near(Probe(70, 100), {255, 0, 0}));
    EXPECT_TRUE(Near(Probe(129, 100), {0, 255, 0}));
}

TEST_P(GLDisplayTest, MaskedImagesHideTheirKeyColour) {
    Ref<TPixmap> p = TPixmap::Create(16, 16, FORMAT_RGB888, 4);
    p->ClearPixels(0xFF000000);
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x) p->WritePixel(x, y, 0xFFFFFFFF);
    Ref<TImage> image = LoadImage(p, IMAGE_MASKED);
    DrawImage(image, 10, 10);
    EXPECT_TRUE(Near(Probe(12, 12), {100, 50, 200})) << "BLEND_MASK drops the keyed border";
    EXPECT_TRUE(Near(Probe(18, 18), {255, 255, 255}));
    SetColor(255, 0, 0);
    DrawImage(image, 40, 10);
    EXPECT_TRUE(Near(Probe(48, 18), {255, 0, 0})) << "texels are tinted by the drawing colour";
}

// The ink of glyph g of the built-in font at (column, row).
bool Ink(int code, int column, int row) { return IncbinData("tundrafont.bin")[row * 96 + code - 32] >> column & 1; }

TEST_P(GLDisplayTest, TextDrawsTheBuiltInGlyphsAndRunsDownWhenTurned) {
    SetColor(255, 255, 255);
    DrawText("A", 20, 20);
    Ref<TPixmap> grabbed = GrabPixmap(20, 20, 8, 16);
    for (int row = 0; row < 16; ++row)
        for (int col = 0; col < 8; ++col) {
            RGB want = Ink('A', col, row) ? RGB{255, 255, 255} : RGB{100, 50, 200};
            EXPECT_TRUE(Near(At(grabbed, col, row), want)) << col << ", " << row;
        }

    // Turned a quarter: "AB" from (200, 50) runs down, A in y 50..57 and B in y 58..65, with
    // glyph rows stacked leftwards from x 200.
    SetRotation(90);
    DrawText("AB", 200, 50);
    SetRotation(0);
    grabbed = GrabPixmap(184, 50, 16, 16);
    for (int code : {'A', 'B'})
        for (int col = 0; col < 8; ++col)
            for (int row = 0; row < 16; ++row) {
                int y = (code - 'A') * 8 + col, x = 15 - row;
                RGB want = Ink(code, col, row) ? RGB{255, 255, 255} : RGB{100, 50, 200};
                EXPECT_TRUE(Near(At(grabbed, x, y), want)) << char(code) << " " << col << ", " << row;
            }
}

TEST_P(GLDisplayTest, ViewportScissorsDrawingAndClearing) {
    SetViewport(50, 40, 100, 60);
    SetClsColor(0, 0, 0);
    Cls();
    EXPECT_TRUE(Near(Probe(50, 40), {0, 0, 0}));
    EXPECT_TRUE(Near(Probe(149, 99), {0, 0, 0}));
    EXPECT_TRUE(Near(Probe(49, 40), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(150, 99), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(100, 100), {100, 50, 200}));

    // Tiles cover the whole viewport and nothing outside it.
    Ref<TPixmap> p = Solid(32, 32, 0xFF00FF00);
    p->WritePixel(0, 0, 0xFFFF0000);
    Ref<TImage> tile = LoadImage(p, 0);
    TileImage(tile, 10, 3);
    Ref<TPixmap> grabbed = GrabPixmap(0, 0, kWidth, kHeight);
    for (int y = 30; y < 110; ++y)
        for (int x = 40; x < 160; ++x) {
            bool inside = x >= 50 && x < 150 && y >= 40 && y < 100;
            bool marker = inside && (x - 10) % 32 == 0 && (y - 3) % 32 == 0;
            RGB want = !inside ? RGB{100, 50, 200} : marker ? RGB{255, 0, 0} : RGB{0, 255, 0};
            ASSERT_TRUE(Near(At(grabbed, x, y), want)) << x << ", " << y;
        }
    SetViewport(0, 0, kWidth, kHeight);
    Cls();
    EXPECT_TRUE(Near(Probe(0, 0), {0, 0, 0})) << "the full viewport lifts the scissor";
}

TEST_P(GLDisplayTest, DrawPixmapAndGrabPixmapRoundTrip) {
    Ref<TPixmap> p = TPixmap::Create(5, 3, FORMAT_RGB888, 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) p->WritePixel(x, y, 0xFF000000u | uint32_t(40 * x) << 16 | uint32_t(80 * y) << 8);
    SetBlend(BLEND_ALPHA);
    SetColor(0, 0, 0);  // pixmaps are copied, not tinted
    DrawPixmap(p, 30, 40);
    Ref<TPixmap> back = GrabPixmap(30, 40, 5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(back->ReadPixel(x, y), p->ReadPixel(x, y)) << x << ", " << y;
    EXPECT_EQ(GetBlend(), BLEND_ALPHA);
    EXPECT_EQ(GLZeph2DModule().blend_mode, BLEND_ALPHA) << "blend mode restored";

    DrawPixmap(p, -2, 0);  // partly outside the window: the visible part still lands
    EXPECT_EQ(GrabPixmap(0, 0, 1, 1)->ReadPixel(0, 0), p->ReadPixel(2, 0));

    Ref<TImage> image = CreateImage(5, 3, 1, 0);
    GrabImage(image, 30, 40);
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(4, 2), p->ReadPixel(4, 2));
}

TEST_P(GLDisplayTest, TexturesArePaddedToPowersOfTwoWithTheEdgesRepeated) {
    Ref<TPixmap> p = TPixmap::Create(100, 60, FORMAT_RGBA8888, 4);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) p->WritePixel(x, y, 0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | 7);
    Ref<TImage> image = LoadImage(p, IMAGE_FILTERED | IMAGE_MIPMAPPED);
    DrawImage(image, 0, 0);
    auto frame = std::dynamic_pointer_cast<TGLImageFrame>(image->frames[0]);
    ASSERT_TRUE(frame);
    EXPECT_FLOAT_EQ(frame->u1, 0.78125f);
    EXPECT_FLOAT_EQ(frame->v1, 0.9375f);

    // The texture is shared with this window's context: read it back here.
    glBindTexture(GL_TEXTURE_2D, frame->name);
    GLint w = 0, h = 0, last = 0, beyond = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &last);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 8, GL_TEXTURE_WIDTH, &beyond);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 64);
    EXPECT_EQ(last, 1) << "eight levels: 128 x 64 down to 1 x 1";
    EXPECT_EQ(beyond, 0);
    std::vector<uint8_t> texels(128 * 64 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, GLZeph2DModule().bound_texture);
    auto texel = [&](int x, int y) {
        const uint8_t* t = &texels[(size_t(y) * 128 + x) * 4];
        return RGB{t[0], t[1], t[2]};
    };
    for (int y : {0, 33, 59}) EXPECT_TRUE(Near(texel(100, y), {99, y, 7}, 0)) << y;
    for (int x : {0, 50, 99}) EXPECT_TRUE(Near(texel(x, 60), {x, 59, 7}, 0)) << x;
    EXPECT_TRUE(Near(texel(100, 60), {99, 59, 7}, 0));
    EXPECT_TRUE(Near(texel(42, 17), {42, 17, 7}, 0));
}

TEST_P(GLDisplayTest, RedundantStateChangesMakeNoGLCalls) {
    TCountingGL counter;
    SetGLFunctions(&counter);
    SetBlend(BLEND_ALPHA);
    int after_first = counter.blend_state_calls;
    EXPECT_EQ(after_first, 3);
    SetBlend(BLEND_ALPHA);
    EXPECT_EQ(counter.blend_state_calls, after_first);

    Ref<TImage> image = LoadImage(Solid(8, 8, 0xFFFFFFFF), 0);
    DrawImage(image, 0, 0);
    int binds = counter.binds;
    DrawImage(image, 10, 0);
    DrawImage(image, 20, 0);
    EXPECT_EQ(counter.binds, binds) << "binding the bound texture costs nothing";

    // Releasing the image deletes its texture.
    image.reset();
    EXPECT_GE(counter.deletes, 1);
    SetGLFunctions(nullptr);
}

// A sub-image samples as an image of only its pixels would: filtered, scaled and turned, no
// texel of the neighbouring cells reaches it, at the texture's padded right edge included.
TEST_P(GLDisplayTest, SubImagesNeverSampleTheirNeighbours) {
    // 48 wide: the texture is 64, so the last cell sits against the padding.
    Ref<TPixmap> sheet = TPixmap::Create(48, 16, FORMAT_RGBA8888, 4);
    sheet->ClearPixels(0xFFFF0000);
    sheet->Window(16, 0, 16, 16)->ClearPixels(0xFF00FF00);
    sheet->Window(32, 0, 16, 16)->ClearPixels(0xFF0000FF);
    sheet->Window(32, 0, 16, 16)->WritePixel(15, 7, 0xFFFFFF00);
    Ref<TImage> atlas = LoadImage(sheet, IMAGE_FILTERED);
    SetRotationAndScale(30, 4, 3);
    for (int cell = 1; cell <= 2; ++cell) {
        Cls();
        Ref<TImage> part = CreateSubImage(atlas, cell * 16, 0, 16, 16);
        ASSERT_TRUE(part);
        MidHandleImage(part);
        Ref<TImage> alone = LoadImage(sheet->Window(cell * 16, 0, 16, 16)->Copy(), IMAGE_FILTERED);
        MidHandleImage(alone);
        DrawImage(part, 80, 120);
        DrawImage(alone, 240, 120);
        Ref<TPixmap> a = GrabPixmap(0, 40, 160, 160), b = GrabPixmap(160, 40, 160, 160);
        int differing = 0, lit = 0, bled = 0;
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 160; ++x) {
                uint32_t pa = a->ReadPixel(x, y);
                differing += pa != b->ReadPixel(x, y);
                RGB c = At(a, x, y);
                lit += c.r < 10 && (cell == 1 ? c.g > 200 : c.b > 200);
                bled += cell == 1 && c.g > 60 && c.r > 8;  // green touched by its red neighbour
            }
        EXPECT_EQ(differing, 0) << "cell " << cell;
        EXPECT_EQ(bled, 0);
        EXPECT_GT(lit, 2000) << "cell " << cell << " was drawn";
    }
    SetRotationAndScale(0, 1, 1);
}

// The view carries rectangles and images alike; WindowToView finds what was drawn there.
TEST_P(GLDisplayTest, TheViewPlacesShapesAndImagesWhereWindowToViewSays) {
    SetView(1000, 1000, 2, 90, 160, 120);
    SetColor(255, 255, 0);
    DrawRect(1000, 1000, 10, 5);  // 10 right becomes 20 down, 5 down becomes 10 left
    SetColor(255, 255, 255);
    EXPECT_TRUE(Near(Probe(155, 135), {255, 255, 0}));
    EXPECT_TRUE(Near(Probe(165, 135), {100, 50, 200}));
    EXPECT_TRUE(Near(Probe(155, 145), {100, 50, 200}));
    float x = 0, y = 0;
    WindowToView(60, 40, x, y);
    Ref<TImage> image = LoadImage(Solid(2, 2, 0xFF00FFFF), 0);
    MidHandleImage(image);
    DrawImage(image, x, y);
    ResetView();
    EXPECT_TRUE(Near(Probe(59, 39), {0, 255, 255}));
    EXPECT_TRUE(Near(Probe(60, 40), {0, 255, 255}));
    EXPECT_TRUE(Near(Probe(62, 42), {100, 50, 200}));
}

// Render images, through framebuffer objects and through the back-buffer fallback.
TEST_P(GLDisplayTest, RenderImagesAreDrawnIntoAndThenDrawnLikeAnyImage) {
    for (bool fallback : {false, true}) {
        SCOPED_TRACE(fallback ? "fallback" : "framebuffer objects");
        GLZeph2DModule().framebuffers_off = fallback;
        Cls();
        SetColor(255, 255, 0);
        DrawRect(0, kHeight - 4, 4, 4);  // under the fallback's corner: must come back
        SetColor(255, 255, 255);
        Ref<TImage> target = CreateRenderImage(64, 48, 0);
        ASSERT_EQ(SetRenderImage(target), 1);
        EXPECT_EQ(RenderImage(), target);
        SetClsColor(255, 0, 0);
        Cls();
        SetColor(0, 255, 0);
        DrawRect(10, 5, 20, 10);
        EXPECT_TRUE(Near(At(GrabPixmap(10, 5, 1, 1), 0, 0), {0, 255, 0})) << "rows counted from the top";
        EXPECT_TRUE(Near(At(GrabPixmap(9, 5, 1, 1), 0, 0), {255, 0, 0}));
        EXPECT_EQ(SetRenderImage(nullptr), 1);
        EXPECT_FALSE(RenderImage());
        // The window's drawing state is back, and its pixels are untouched.
        int r = 0, g = 0, b = 0;
        GetClsColor(r, g, b);
        EXPECT_EQ(r, 100);
        EXPECT_TRUE(Near(Probe(1, kHeight - 2), {255, 255, 0}));
        EXPECT_TRUE(Near(Probe(30, kHeight - 20), {100, 50, 200}));
        // Read back into the pixmap, and drawn like any image.
        EXPECT_EQ(LockImage(target, 0, 1, 0)->ReadPixel(12, 6), 0xFF00FF00u);
        EXPECT_EQ(LockImage(target, 0, 1, 0)->ReadPixel(0, 47), 0xFFFF0000u);
        DrawImage(target, 200, 100);
        EXPECT_TRUE(Near(Probe(212, 106), {0, 255, 0}));
        EXPECT_TRUE(Near(Probe(201, 146), {255, 0, 0}));
        EXPECT_TRUE(Near(Probe(265, 120), {100, 50, 200}));
    }
    GLZeph2DModule().framebuffers_off = false;
}

TEST_P(GLDisplayTest, ARenderImageDrawnIntoItselfDrawsWhatItHeld) {
    for (bool fallback : {false, true}) {
        SCOPED_TRACE(fallback ? "fallback" : "framebuffer objects");
        GLZeph2DModule().framebuffers_off = fallback;
        Ref<TImage> target = CreateRenderImage(64, 32, 0);
        ASSERT_EQ(SetRenderImage(target), 1);
        SetClsColor(0, 0, 255);
        Cls();
        SetColor(255, 255, 255);
        DrawRect(0, 0, 8, 8);
        // Twice across: the second copy shows the first, as each call draws what was there.
        DrawImage(target, 16, 0);
        DrawImage(target, 32, 0);
        EXPECT_THROW(LockImage(target, 0, 0, 1), TRuntimeException);
        SetRenderImage(nullptr);
        Ref<TPixmap> p = LockImage(target, 0, 1, 0);
        EXPECT_EQ(p->ReadPixel(4, 4), 0xFFFFFFFFu);
        EXPECT_EQ(p->ReadPixel(20, 4), 0xFFFFFFFFu);
        EXPECT_EQ(p->ReadPixel(36, 4), 0xFFFFFFFFu);
        EXPECT_EQ(p->ReadPixel(52, 4), 0xFFFFFFFFu);
        EXPECT_EQ(p->ReadPixel(12, 4), 0xFF0000FFu);
    }
    GLZeph2DModule().framebuffers_off = false;
}

// A texture wider and taller than the image repeats the last column and row beyond it; drawn
// scaled and filtered, the edges must not fade into what the texture held before.
TEST_P(GLDisplayTest, AFilteredRenderImageKeepsItsEdgesWhenScaled) {
    for (bool fallback : {false, true}) {
        SCOPED_TRACE(fallback ? "fallback" : "framebuffer objects");
        GLZeph2DModule().framebuffers_off = fallback;
        Ref<TImage> target = CreateRenderImage(30, 20, IMAGE_FILTERED);  // padded to 32 x 32
        ASSERT_EQ(SetRenderImage(target), 1);
        SetClsColor(255, 0, 0);
        Cls();
        SetRenderImage(nullptr);
        SetClsColor(0, 0, 0);
        Cls();
        SetBlend(BLEND_SOLID);
        SetScale(8, 8);
        DrawImage(target, 0, 0);
        SetScale(1, 1);
        EXPECT_TRUE(Near(Probe(239, 80), {255, 0, 0})) << "right edge";
        EXPECT_TRUE(Near(Probe(120, 159), {255, 0, 0})) << "bottom edge";
        EXPECT_TRUE(Near(Probe(239, 159), {255, 0, 0})) << "corner";
        SetBlend(BLEND_MASK);
    }
    GLZeph2DModule().framebuffers_off = false;
}

TEST_P(GLDisplayTest, RenderImagesKeepTheirPixelsAcrossCloseAndReopen) {
    Ref<TImage> target = CreateRenderImage(16, 16, 0);
    ASSERT_EQ(SetRenderImage(target), 1);
    SetClsColor(0, 255, 255);
    Cls();
    // Still selected when the graphics close: read back then.
    CloseOpenedGraphics();
    EXPECT_FALSE(RenderImage());
    ASSERT_TRUE(OpenGraphics(kWidth, kHeight, 0, 0, 0));
    SetClsColor(0, 0, 0);
    Cls();
    DrawImage(target, 50, 50);
    EXPECT_TRUE(Near(Probe(58, 58), {0, 255, 255}));
    EXPECT_TRUE(Near(Probe(67, 58), {0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, GLDisplayTest, ::testing::Values(Backend::Window, Backend::Offscreen),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                             return info.param == Backend::Window ? "Window" : "Offscreen";
                         });

}  // namespace
}  // namespace corvex

// The drawing layer above the renderer: placement of primitives, images and text, the drawing
// state's life cycle, images and frames, and the built-in font. A recording driver stands in
// for the renderer, so no display is needed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <corvex/draw2d/draw2d.h>
#include "stream/fontbits.h"
#include "draw2d/draw2d_module.h"
#include "graphics/graphics_module.h"
#include <corvex/system/event.h>
#include <corvex/system/input.h>
#include <corvex/system/system.h>

namespace corvex {
namespace {

struct TCall {
    std::string name;
    std::vector<float> args;
};
using TLog = std::vector<TCall>;

class TRecordingFrame : public TImageFrame {
public:
    TRecordingFrame(TLog* log, Ref<TPixmap> pixmap, int flags) : log(log), pixmap(std::move(pixmap)), flags(flags) {}
    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override {
        log->push_back({"Frame.Draw", {x0, y0, x1, y1, tx, ty}});
    }
    TLog* log;
    Ref<TPixmap> pixmap;
    int flags;
};

class TRecordingDriver : public TZeph2DDriver {
public:
    TLog log;
    bool refuse_frames = false;
    int frames_made = 0;

    TGraphicsModes GraphicsModes() override { return {}; }
    Ref<TGraphics> AttachGraphics(uintptr_t, int32_t) override { return nullptr; }
    Ref<TGraphics> CreateGraphics(int32_t, int32_t, int32_t, int32_t, int32_t) override { return nullptr; }
    void SetGraphics(const Ref<TGraphics>&) override { Add("SetGraphics", {}); }
    void Flip(int32_t sync) override { Add("Flip", {float(sync)}); }
    Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) override {
        Add("CreateFrame", {float(flags)});
        if (refuse_frames) return nullptr;
        ++frames_made;
        return std::make_shared<TRecordingFrame>(&log, pixmap, flags);
    }
    void SetBlend(int mode) override { Add("SetBlend", {float(mode)}); }
    void SetAlpha(float alpha) override { Add("SetAlpha", {alpha}); }
    void SetColor(int r, int g, int b) override { Add("SetColor", {float(r), float(g), float(b)}); }
    void SetClsColor(int r, int g, int b) override { Add("SetClsColor", {float(r), float(g), float(b)}); }
    void SetViewport(int x, int y, int w, int h) override { Add("SetViewport", {float(x), float(y), float(w), float(h)}); }
    void SetTransform(float ix, float iy, float jx, float jy) override { Add("SetTransform", {ix, iy, jx, jy}); }
    void SetLineWidth(float w) override { Add("SetLineWidth", {w}); }
    void Cls() override { Add("Cls", {}); }
    void Plot(float x, float y) override { Add("Plot", {x, y}); }
    void DrawLine(float a, float b, float c, float d, float e, float f) override { Add("DrawLine", {a, b, c, d, e, f}); }
    void DrawRect(float a, float b, float c, float d, float e, float f) override { Add("DrawRect", {a, b, c, d, e, f}); }
    void DrawOval(float a, float b, float c, float d, float e, float f) override { Add("DrawOval", {a, b, c, d, e, f}); }
    void DrawPoly(const std::vector<float>& xy, float hx, float hy, float ox, float oy) override {
        std::vector<float> args = xy;
        args.insert(args.end(), {hx, hy, ox, oy});
        Add("DrawPoly", args);
    }
    void DrawPixmap(const Ref<TPixmap>&, int x, int y) override { Add("DrawPixmap", {float(x), float(y)}); }
    Ref<TPixmap> GrabPixmap(int x, int y, int w, int h) override {
        Add("GrabPixmap", {float(x), float(y), float(w), float(h)});
        Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
        p->ClearPixels(0xFF000000);  // opaque black: keyed away when masked
        p->WritePixel(0, 0, 0xFF102030);
        return p;
    }

    std::vector<TCall> Named(const std::string& name) const {
        std::vector<TCall> out;
        for (const TCall& c : log)
            if (c.name == name) out.push_back(c);
        return out;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const TCall& c : log) out.push_back(c.name);
        return out;
    }

private:
    void Add(const char* name, std::vector<float> args) { log.push_back({name, std::move(args)}); }
};

class TFakeGraphics : public TGraphics {
public:
    explicit TFakeGraphics(Ref<TGraphicsDriver> driver) : driver(std::move(driver)) {}
    Ref<TGraphicsDriver> Driver() override { return driver; }
    void GetSettings(int32_t* w, int32_t* h, int32_t* d, int32_t* hz, int32_t* f) override {
        *w = width;
        *h = height;
        *d = 0;
        *hz = 60;
        *f = GFX_DOUBLE_BUFFER;
    }
    void Close() override { ++closed; }
    Ref<TGraphicsDriver> driver;
    int closed = 0;
    int32_t width = 800, height = 600;
};

class Draw2DTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartDraw2DModule();
        Draw2DModule().Reset();
        GraphicsModule().Reset();
        driver = std::make_shared<TRecordingDriver>();
        SelectGraphicsDriver(driver, 0);
        window = std::make_shared<TFakeGraphics>(driver);
        state = TZeph2DGraphics::Create(window, driver);
        state->MakeCurrent();
        driver->log.clear();
    }
    void TearDown() override {
        Draw2DModule().Reset();
        GraphicsModule().Reset();
    }
    std::vector<float> Last(const std::string& name) const {
        auto calls = driver->Named(name);
        return calls.empty() ? std::vector<float>{} : calls.back().args;
    }

    Ref<TRecordingDriver> driver;
    Ref<TFakeGraphics> window;
    Ref<TZeph2DGraphics> state;
};

using F = std::vector<float>;

Ref<TPixmap> SolidPixmap(int w, int h, int format, uint32_t argb) {
    Ref<TPixmap> p = TPixmap::Create(w, h, format, 4);
    p->ClearPixels(argb);
    return p;
}

// ---- Drawing state

TEST_F(Draw2DTest, NewStateHasTheDocumentedValuesAndTheBuiltInFont) {
    Ref<TZeph2DGraphics> g = TZeph2DGraphics::Create(window, driver);
    EXPECT_EQ(g->color_red + g->color_green + g->color_blue, 3 * 255);
    EXPECT_EQ(g->color_alpha, 1.0f);
    EXPECT_EQ(g->blend_mode, BLEND_MASK);
    EXPECT_EQ(g->viewport_w, 800);
    EXPECT_EQ(g->viewport_h, 600);
    EXPECT_EQ(g->_setup, 0);
    EXPECT_EQ(g->image_font, Draw2DModule().default_font);
    EXPECT_EQ(g->image_font->CountGlyphs(), 96);
    EXPECT_EQ(g->Driver(), driver);
}

TEST_F(Draw2DTest, FirstMakeCurrentValidatesThenClearsBothBuffersLaterOnlyValidates) {
    Ref<TZeph2DGraphics> g = TZeph2DGraphics::Create(window, driver);
    g->blend_mode = BLEND_ALPHA;
    g->color_red = 300;
    g->handle_x = -3;
    g->MakeCurrent();
    EXPECT_EQ(TZeph2DGraphics::Current(), g);
    std::vector<std::string> expected = {"SetBlend", "SetColor",    "SetAlpha",     "SetClsColor", "SetLineWidth",
                                         "SetTransform", "SetTransform", "SetViewport", "Cls",         "Flip",
                                         "Cls",          "Flip"};
    EXPECT_EQ(driver->Names(), expected);
    EXPECT_EQ(driver->log[0].args, F{3});
    EXPECT_EQ(driver->log[1].args, (F{300, 255, 255}));
    EXPECT_EQ(driver->log[9].args, F{0});
    EXPECT_EQ(g->_setup, 1);
    EXPECT_EQ(g->handle_x, -3) << "validation keeps the handle";

    driver->log.clear();
    g->MakeCurrent();
    EXPECT_EQ(driver->Named("Cls").size(), 0u);
    EXPECT_EQ(driver->Named("Flip").size(), 0u);
    EXPECT_EQ(driver->Named("SetBlend").size(), 1u);
}

TEST_F(Draw2DTest, ValuesAreStoredUnchangedAndForwarded) {
    SetColor(300, -4, 128);
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ((F{float(r), float(g), float(b)}), (F{300, -4, 128}));
    EXPECT_EQ(Last("SetColor"), (F{300, -4, 128}));
    SetAlpha(1.5f);
    EXPECT_EQ(GetAlpha(), 1.5f);
    SetBlend(42);
    EXPECT_EQ(GetBlend(), 42);
    SetClsColor(1, 2, 3);
    GetClsColor(r, g, b);
    EXPECT_EQ(b, 3);
    SetLineWidth(2.5f);
    EXPECT_EQ(GetLineWidth(), 2.5f);
    SetViewport(10, 20, 100, 50);
    int vx, vy, vw, vh;
    GetViewport(vx, vy, vw, vh);
    EXPECT_EQ((F{float(vx), float(vy), float(vw), float(vh)}), (F{10, 20, 100, 50}));
    SetMaskColor(9, 8, 7);
    GetMaskColor(r, g, b);
    EXPECT_EQ(r, 9);
    size_t calls = driver->log.size();
    SetOrigin(5, 6);
    SetHandle(10, 5);
    EXPECT_EQ(driver->log.size(), calls) << "origin, handle and mask colour make no driver call";
    float x, y;
    GetHandle(x, y);
    EXPECT_EQ((F{x, y}), (F{10, 5}));
    EXPECT_EQ(state->handle_x, -10);
    EXPECT_EQ(state->handle_y, -5);
}

TEST_F(Draw2DTest, RotationAndScaleBuildTheMatrix) {
    SetRotation(90);
    EXPECT_NEAR(state->tform_ix, 0, 1e-6);
    EXPECT_FLOAT_EQ(state->tform_iy, -1);
    EXPECT_FLOAT_EQ(state->tform_jx, 1);
    EXPECT_NEAR(state->tform_jy, 0, 1e-6);
    EXPECT_EQ(Last("SetTransform")[2], 1);
    SetRotationAndScale(0, 2, 3);
    EXPECT_EQ(Last("SetTransform"), (F{2, 0, 0, 3}));
    EXPECT_EQ(driver->Named("SetTransform").size(), 2u) << "one update for rotation and scale together";
    SetScale(1, 1);
    SetRotation(30);
    float s = std::sin(30 * 0.017453292519943295f), c = std::cos(30 * 0.017453292519943295f);
    EXPECT_NEAR(state->tform_ix, c, 1e-6);
    EXPECT_NEAR(state->tform_jx, s, 1e-6) << "positive angles turn x towards +y, clockwise on screen";
    EXPECT_EQ(GetRotation(), 30);
}

// Turns are looked up in a cache of limited size: more turns than it holds, met in two orders,
// must each give exactly what sin and cos give (zero's sign included).
TEST_F(Draw2DTest, EveryTurnGetsItsOwnSineAndCosineHoweverManyAreMet) {
    std::vector<float> turns = {0.0f, -0.0f};
    for (int i = 0; i < 20000; ++i) turns.push_back(float(i) * 0.037f - 370.0f);
    auto check = [&](float degrees) {
        SetRotation(degrees);
        double radians = degrees * 0.017453292519943295;
        float c = float(std::cos(radians)), s = float(std::sin(radians));
        ASSERT_EQ(state->tform_ix, c) << degrees;
        ASSERT_EQ(state->tform_jx, s) << degrees;
        ASSERT_EQ(std::signbit(state->tform_jx), std::signbit(s)) << degrees;
    };
    for (float d : turns) check(d);
    for (size_t i = turns.size(); i-- > 0;) check(turns[i]);
    for (size_t i = 0; i < turns.size(); i += 2) check(turns[(i * 7919) % turns.size()]);
}

TEST_F(Draw2DTest, PrimitivesApplyHandleAndOrigin) {
    SetOrigin(3, 4);
    SetHandle(10, 5);
    DrawRect(100, 100, 20, 10);
    EXPECT_EQ(Last("DrawRect"), (F{-10, -5, 10, 5, 103, 104}));
    DrawOval(1, 2, 8, 6);
    EXPECT_EQ(Last("DrawOval"), (F{-10, -5, -2, 1, 4, 6}));
    DrawPoly({0, 0, 1, 0, 0, 1});
    EXPECT_EQ(Last("DrawPoly"), (F{0, 0, 1, 0, 0, 1, -10, -5, 3, 4}));
    DrawPixmap(SolidPixmap(2, 2, FORMAT_RGBA8888, 0), 7, 8);
    EXPECT_EQ(Last("DrawPixmap"), (F{7, 8})) << "no origin for pixmaps";

    // Plot uses the origin only, whatever the handle or the matrix.
    SetOrigin(5, 5);
    SetRotation(45);
    Plot(1, 1);
    EXPECT_EQ(Last("Plot"), (F{6, 6}));
}

TEST_F(Draw2DTest, DrawLineLightsTheTransformedEndPointOnlyWhenAsked) {
    SetOrigin(1, 2);
    SetRotation(90);
    DrawLine(10, 10, 20, 10, 0);
    EXPECT_EQ(driver->Named("Plot").size(), 0u);
    EXPECT_EQ(Last("DrawLine"), (F{0, 0, 10, 0, 11, 12}));
    DrawLine(10, 10, 20, 10, 1);
    ASSERT_EQ(driver->Named("Plot").size(), 1u);
    // End point (10, 0) turned a quarter clockwise is (0, 10) from (11, 12).
    EXPECT_NEAR(Last("Plot")[0], 11, 1e-5);
    EXPECT_NEAR(Last("Plot")[1], 22, 1e-5);
}

TEST_F(Draw2DTest, DrawLineLastPixelAddsTheStartBeforeTheOrigin) {
    // Values for which the two orders of the float sum differ in the last place.
    const float x1 = 1023.38989f, y1 = 1023.38989f, ox = 0.71f, oy = 0.71f;
    const float x2 = x1 + 0.023f, y2 = y1 + 0.023f;
    SetOrigin(ox, oy);
    DrawLine(x1, y1, x2, y2, 1);
    volatile float px = 0.0f + x2 - x1;  // the handle is 0, the matrix the identity
    volatile float step = px * 1.0f + px * 0.0f;
    volatile float startFirst = step + x1;
    const float expected = startFirst + ox;
    volatile float placed = x1 + ox;
    const float otherOrder = step + placed;
    ASSERT_NE(expected, otherOrder) << "the case does not tell the orders apart";
    EXPECT_EQ(Last("Plot"), (F{expected, expected}));
}

TEST_F(Draw2DTest, CloseReleasesTheContextOnce) {
    state->Close();
    state->Close();
    EXPECT_EQ(window->closed, 1);
    EXPECT_EQ(state->_graphics, nullptr);
    EXPECT_EQ(state->_driver, nullptr);
}

TEST_F(Draw2DTest, OperationsWithoutCurrentGraphicsRaise) {
    TZeph2DGraphics::ClearCurrent();
    EXPECT_EQ(TZeph2DGraphics::Current(), nullptr);
    EXPECT_THROW(SetColor(1, 2, 3), TRuntimeException);
    EXPECT_THROW(DrawRect(0, 0, 1, 1), TRuntimeException);
    EXPECT_THROW(DrawText("x", 0, 0), TRuntimeException);
    SetMaskColor(1, 1, 1);  // module-wide settings need no context
    SetAutoMidHandle(1);
}

// ---- Images

TEST_F(Draw2DTest, LoadImageKeysPixmapsWithoutAlphaAndAppliesTheAutoMidHandle) {
    SetAutoMidHandle(1);
    Ref<TPixmap> rgb = SolidPixmap(64, 32, FORMAT_RGB888, 0xFF000000);
    rgb->WritePixel(5, 5, 0xFF806040);
    Ref<TImage> image = LoadImage(rgb);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->flags, IMAGE_MASKED | IMAGE_FILTERED);
    EXPECT_EQ(image->handle_x, 32);
    EXPECT_EQ(image->handle_y, 16);
    EXPECT_NE(image->pixmaps[0], rgb);
    EXPECT_EQ(image->pixmaps[0]->format, FORMAT_RGBA8888);
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(5, 5), 0xFF806040u);
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(20, 20) >> 24, 0u) << "black keyed away";

    Ref<TPixmap> rgba = SolidPixmap(8, 8, FORMAT_RGBA8888, 0xFF000000);
    EXPECT_EQ(LoadImage(rgba)->pixmaps[0], rgba) << "pixmaps with alpha are kept as they are";

    SetAutoImageFlags(-1);
    EXPECT_EQ(Draw2DModule().auto_image_flags, 3);
    SetAutoImageFlags(0);
    Ref<TImage> plain = LoadImage(rgb);
    EXPECT_EQ(plain->flags, 0);
    EXPECT_EQ(plain->pixmaps[0], rgb);

    SetAutoMidHandle(0);
    EXPECT_EQ(LoadImage(rgb)->handle_x, 0);
    EXPECT_EQ(LoadImage("no-such-file.png"), nullptr);
}

TEST_F(Draw2DTest, DrawImagePlacesItsHandleOnThePosition) {
    SetAutoMidHandle(1);
    Ref<TImage> image = LoadImage(SolidPixmap(64, 32, FORMAT_RGBA8888, 0xFFFFFFFF));
    SetOrigin(1, 2);
    SetHandle(50, 50);  // the drawing handle does not apply to images
    DrawImage(image, 100, 100);
    EXPECT_EQ(Last("Frame.Draw"), (F{-32, -16, 32, 16, 101, 102}));
    DrawImageRect(image, 100, 100, 128, 64);
    EXPECT_EQ(Last("Frame.Draw"), (F{-32, -16, 96, 48, 101, 102}));
    EXPECT_EQ(driver->frames_made, 1) << "one frame per context";
    EXPECT_EQ(Last("CreateFrame"), F{3});
}

// An image class of a program's own chooses the frame it is drawn with, every time.
TEST_F(Draw2DTest, DrawImageAsksAnImageSubclassForItsFrameEachTime) {
    class TCountingImage : public TImage {
    public:
        int asked = 0;
        Ref<TImageFrame> Frame(int index) override {
            ++asked;
            return TImage::Frame(index);
        }
    };
    auto image = std::make_shared<TCountingImage>();
    image->width = image->height = 4;
    image->pixmaps = {SolidPixmap(4, 4, FORMAT_RGBA8888, 0xFFFFFFFF)};
    image->frames.resize(1);
    image->seqs.assign(1, 0);
    Ref<TImage> plain = image;
    DrawImage(plain, 0, 0);
    DrawImage(plain, 0, 0);
    EXPECT_EQ(image->asked, 2);
    EXPECT_EQ(driver->frames_made, 1);
    EXPECT_EQ(driver->Named("Frame.Draw").size(), 2u);
}

TEST_F(Draw2DTest, FramesAreRemadeAfterAContextChangeAndRetriedAfterFailure) {
    Ref<TImage> image = LoadImage(SolidPixmap(4, 4, FORMAT_RGBA8888, 0xFFFFFFFF));
    DrawImage(image, 0, 0);
    Ref<TImageFrame> first = image->frames[0];
    EXPECT_EQ(image->seqs[0], GraphicsSequence());
    DrawImage(image, 0, 0);
    EXPECT_EQ(driver->frames_made, 1);

    GraphicsModule().sequence = NextGraphicsSequence(GraphicsModule().sequence);
    DrawImage(image, 0, 0);
    EXPECT_EQ(driver->frames_made, 2);
    EXPECT_NE(image->frames[0], first);
    auto frame = std::static_pointer_cast<TRecordingFrame>(image->frames[0]);
    EXPECT_EQ(frame->pixmap, image->pixmaps[0]) << "rebuilt from the kept pixmap";

    driver->refuse_frames = true;
    GraphicsModule().sequence = NextGraphicsSequence(GraphicsModule().sequence);
    size_t draws = driver->Named("Frame.Draw").size();
    DrawImage(image, 0, 0);
    DrawImage(image, 0, 0);
    EXPECT_EQ(driver->Named("CreateFrame").size(), 4u) << "a failed creation is retried on every draw";
    EXPECT_EQ(driver->Named("Frame.Draw").size(), draws);
    EXPECT_EQ(image->seqs[0], 0);
}

TEST_F(Draw2DTest, LockAndSetPixmapInvalidateTheFrame) {
    Ref<TImage> image = CreateImage(16, 8, 2);
    EXPECT_EQ(image->flags, 3 | IMAGE_DYNAMIC);
    EXPECT_EQ(image->pixmaps[1], nullptr);
    Ref<TPixmap> locked = LockImage(image, 1, 1, 0);
    EXPECT_EQ(locked->width, 16);
    EXPECT_EQ(locked->format, FORMAT_RGBA8888);
    DrawImage(image, 0, 0, 1);
    EXPECT_TRUE(image->frames[1]);
    LockImage(image, 1, 0, 0);
    EXPECT_TRUE(image->frames[1]) << "reading keeps the frame";
    LockImage(image, 1, 1, 1);
    EXPECT_FALSE(image->frames[1]);
    EXPECT_EQ(image->seqs[1], 0);
    EXPECT_EQ(LockImage(image, 1), locked);
    EXPECT_THROW(image->Frame(2), TRuntimeException);
    EXPECT_THROW(image->Lock(-1, 1, 1), TRuntimeException);
}

TEST_F(Draw2DTest, LoadAnimImageCutsCellsInReadingOrder) {
    Ref<TPixmap> sheet = SolidPixmap(100, 40, FORMAT_RGBA8888, 0xFF000000);
    for (int cell = 0; cell < 3; ++cell) sheet->WritePixel(cell * 32, 0, 0xFF000001 + cell);
    Ref<TImage> image = LoadAnimImage(sheet, 32, 32, 1, 2);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->pixmaps.size(), 2u);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(0, 0), 0xFF000002u);
    EXPECT_EQ(image->pixmaps[1]->ReadPixel(0, 0), 0xFF000003u);
    EXPECT_EQ(LoadAnimImage(sheet, 32, 32, 2, 2), nullptr);
    EXPECT_EQ(LoadAnimImage(sheet, 0, 32, 0, 1), nullptr) << "a zero cell size is refused, not divided by";
}

TEST_F(Draw2DTest, GrabImageKeysTheGrabbedPixelsWhenMasked) {
    Ref<TImage> image = CreateImage(4, 3, 1, IMAGE_MASKED);
    GrabImage(image, 10, 20);
    EXPECT_EQ(Last("GrabPixmap"), (F{10, 20, 4, 3}));
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(0, 0), 0xFF102030u);
    EXPECT_EQ(image->pixmaps[0]->ReadPixel(3, 2) >> 24, 0u);
    Ref<TImage> solid = CreateImage(4, 3, 1, 0);
    GrabImage(solid, 0, 0);
    EXPECT_EQ(solid->pixmaps[0]->ReadPixel(3, 2), 0xFF000000u);
}

TEST_F(Draw2DTest, TileImageCoversTheViewportFromTheRightStart) {
    Ref<TImage> image = LoadImage(SolidPixmap(32, 32, FORMAT_RGBA8888, 0xFFFFFFFF));
    SetRotation(30);
    SetViewport(0, 0, 100, 50);
    driver->log.clear();
    TileImage(image, 10, 0);
    EXPECT_EQ(driver->Named("SetTransform").front().args, (F{1, 0, 0, 1})) << "tiles are never turned";
    std::vector<std::pair<float, float>> starts;
    for (const TCall& c : driver->Named("Frame.Draw")) starts.emplace_back(c.args[4], c.args[5]);
    std::vector<std::pair<float, float>> expected;
    for (float y : {0.f, 32.f})
        for (float x : {-22.f, 10.f, 42.f, 74.f}) expected.emplace_back(x, y);
    EXPECT_EQ(starts, expected);
    EXPECT_EQ(driver->log.back().name, "SetTransform") << "the drawing matrix comes back";
    EXPECT_NEAR(driver->log.back().args[2], 0.5, 1e-6);

    // A position a whole number of tiles left of the viewport still covers its first column,
    // and the sub-pixel part of the position is kept.
    driver->log.clear();
    TileImage(image, -63, 0.25f);
    auto draws = driver->Named("Frame.Draw");
    EXPECT_EQ(draws.front().args[4], -31);
    EXPECT_EQ(draws.front().args[5], 0.25f);
}

// ---- Text

// ---- Sub-images

TEST_F(Draw2DTest, SubImagesShareTheSourcePixelsAndFollowTheirChanges) {
    Ref<TPixmap> sheet = SolidPixmap(40, 20, FORMAT_RGBA8888, 0xFF0000FF);
    sheet->WritePixel(10, 5, 0xFFFF0000);
    Ref<TImage> image = LoadImage(sheet, 0);
    SetAutoMidHandle(1);
    Ref<TImage> part = CreateSubImage(image, 10, 5, 8, 4);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->handle_x, 4.0f);
    EXPECT_EQ(part->handle_y, 2.0f);
    EXPECT_FALSE(CreateSubImage(image, 33, 0, 8, 4)) << "reaches past the right edge";
    EXPECT_FALSE(CreateSubImage(image, -1, 0, 8, 4));
    EXPECT_FALSE(CreateSubImage(image, 0, 0, 0, 4));

    // The frame is made from exactly the rectangle's pixels.
    Ref<TImageFrame> f = part->Frame(0);
    auto* rec = dynamic_cast<TRecordingFrame*>(f.get());
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->pixmap->width, 8);
    EXPECT_EQ(rec->pixmap->height, 4);
    EXPECT_EQ(rec->pixmap->ReadPixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(part->Frame(0), f) << "kept while nothing changes";

    // Drawn like any image: the sub-image's own handle and size.
    DrawImage(part, 100, 50);
    EXPECT_EQ(Last("Frame.Draw"), (F{-4, -2, 4, 2, 100, 50}));

    // Writing the source's pixels remakes the sub-image's frame from the new ones.
    LockImage(image, 0, 0, 1)->WritePixel(10, 5, 0xFF00FF00);
    Ref<TImageFrame> g = part->Frame(0);
    ASSERT_NE(g, f);
    EXPECT_EQ(dynamic_cast<TRecordingFrame*>(g.get())->pixmap->ReadPixel(0, 0), 0xFF00FF00u);

    // Writing through the sub-image lands in the source.
    LockImage(part, 0, 0, 1)->WritePixel(1, 0, 0xFFFFFFFF);
    EXPECT_EQ(LockImage(image, 0, 1, 0)->ReadPixel(11, 5), 0xFFFFFFFFu);
    // A sub-image of a sub-image is placed in the first source.
    Ref<TImage> inner = CreateSubImage(part, 1, 0, 2, 2);
    ASSERT_TRUE(inner);
    EXPECT_EQ(LockImage(inner, 0, 1, 0)->ReadPixel(0, 0), 0xFFFFFFFFu);
}

// ---- View and saved settings

TEST_F(Draw2DTest, TheViewMovesZoomsAndTurnsEverythingAboutItsAnchor) {
    SetView(100, 50, 2, 90, 400, 300);
    // The view point lands on the anchor; one unit right of it lands two pixels down (90 degrees
    // clockwise, zoom 2).
    DrawRect(100, 50, 10, 10);
    F r = Last("DrawRect");
    EXPECT_NEAR(r[4], 400, 1e-4);
    EXPECT_NEAR(r[5], 300, 1e-4);
    F m = Last("SetTransform");
    EXPECT_NEAR(m[0], 0, 1e-5);   // ix
    EXPECT_NEAR(m[1], -2, 1e-5);  // iy
    EXPECT_NEAR(m[2], 2, 1e-5);   // jx
    EXPECT_NEAR(m[3], 0, 1e-5);   // jy
    float wx = 0, wy = 0;
    ViewToWindow(101, 50, wx, wy);
    EXPECT_NEAR(wx, 400, 1e-4);
    EXPECT_NEAR(wy, 302, 1e-4);
    // Rotation and scale of the drawing state come before the view.
    SetScale(3, 1);
    m = Last("SetTransform");
    EXPECT_NEAR(m[2], 6, 1e-5);
    SetScale(1, 1);
    // The last pixel of a line and a plot go through the view as well.
    driver->log.clear();
    DrawLine(100, 50, 105, 50);
    F p = Last("Plot");
    EXPECT_NEAR(p[0], 400, 1e-3);
    EXPECT_NEAR(p[1], 310, 1e-3);
    ResetView();
    m = Last("SetTransform");
    EXPECT_EQ(m, (F{1, 0, 0, 1})) << "back to the plain matrix, bit for bit";
    DrawRect(7, 9, 1, 1);
    EXPECT_EQ(Last("DrawRect")[4], 7.0f);
}

TEST_F(Draw2DTest, WindowToViewFindsTheDrawingPositionWithHandleAndOriginSet) {
    SetOrigin(30, -12);
    SetHandle(5, 7);
    SetView(-40, 25, 1.5f, 30, 320, 240);
    for (float wx : {0.0f, 123.0f, 640.0f})
        for (float wy : {0.0f, 77.0f, 480.0f}) {
            float x = 0, y = 0;
            WindowToView(wx, wy, x, y);
            // Drawn at that position, the shape's handle point sits on the window point.
            DrawRect(x, y, 10, 10);
            F r = Last("DrawRect");
            EXPECT_NEAR(r[4], wx, 1e-3);
            EXPECT_NEAR(r[5], wy, 1e-3);
            DrawImage(LoadImage(SolidPixmap(4, 4, FORMAT_RGBA8888, 0xFFFFFFFF), 0), x, y);
            F d = Last("Frame.Draw");
            EXPECT_NEAR(d[4], wx, 1e-3);
            EXPECT_NEAR(d[5], wy, 1e-3);
        }
    float x = 0, y = 0;
    SetView(10, 10, 0);  // a zoom of 0 collapses the picture: every point is the view point
    WindowToView(50, 60, x, y);
    EXPECT_EQ(x, 10 - 30.0f);
    EXPECT_EQ(y, 10 + 12.0f);
}

TEST_F(Draw2DTest, PopRestoresThePushedSettingsAndWithoutAPushDoesNothing) {
    EXPECT_EQ(PopDrawState(), 0);
    EXPECT_TRUE(driver->log.empty()) << "a pop without a push makes no driver call";
    SetColor(10, 20, 30);
    SetRotation(45);
    SetView(5, 5, 2);
    PushDrawState();
    SetColor(1, 2, 3);
    SetAlpha(0.5f);
    SetBlend(BLEND_ALPHA);
    SetRotation(0);
    SetOrigin(9, 9);
    SetViewport(1, 2, 3, 4);
    ResetView();
    EXPECT_EQ(PopDrawState(), 1);
    int r = 0, g = 0, b = 0;
    GetColor(r, g, b);
    EXPECT_EQ(b, 30);
    EXPECT_EQ(GetAlpha(), 1.0f);
    EXPECT_EQ(GetBlend(), BLEND_MASK);
    EXPECT_EQ(GetRotation(), 45.0f);
    float ox = 1, oy = 1, vx = 0, vy = 0, zoom = 0, rot = 0, ax = 0, ay = 0;
    GetOrigin(ox, oy);
    EXPECT_EQ(ox, 0.0f);
    GetView(vx, vy, zoom, rot, ax, ay);
    EXPECT_EQ(zoom, 2.0f);
    int x = 0, y = 0, w = 0, h = 0;
    GetViewport(x, y, w, h);
    EXPECT_EQ(w, 800);
    // The driver was given the restored values too.
    EXPECT_EQ(Last("SetColor"), (F{10, 20, 30}));
    EXPECT_EQ(Last("SetBlend"), (F{float(BLEND_MASK)}));
    EXPECT_EQ(Last("SetViewport"), (F{0, 0, 800, 600}));
    EXPECT_EQ(PopDrawState(), 0);
    GetColor(r, g, b);
    EXPECT_EQ(r, 10) << "the extra pop changed nothing";
    for (int i = 0; i < 1024; ++i) PushDrawState();
    EXPECT_THROW(PushDrawState(), TRuntimeException);
}

TEST_F(Draw2DTest, RenderImagesNeedADriverThatDrawsIntoFrames) {
    EXPECT_THROW(SetRenderImage(CreateImage(8, 8)), TRuntimeException);
    Ref<TImage> target = CreateRenderImage(8, 8, IMAGE_MIPMAPPED);
    EXPECT_EQ(target->flags & IMAGE_MIPMAPPED, 0);
    EXPECT_EQ(LockImage(target, 0, 1, 0)->ReadPixel(3, 3), 0u) << "starts transparent black";
    EXPECT_EQ(SetRenderImage(target), 0) << "the recording driver draws into nothing";
    EXPECT_FALSE(RenderImage());
    EXPECT_EQ(TZeph2DGraphics::Current(), state);
    EXPECT_EQ(SetRenderImage(nullptr), 1);
}

TEST_F(Draw2DTest, BuiltInFontMatchesTheResourceLayout) {
    ASSERT_EQ(IncbinSize("tundrafont.bin"), kBuiltinFontSize);
    const uint8_t* bits = IncbinData("tundrafont.bin");
    const uint8_t capital_a[16] = {0, 0, 0x7C, 0xC6, 0xC6, 0xC6, 0xFE, 0xC6, 0xC6, 0xC6, 0xC6, 0, 0, 0, 0, 0};
    for (int row = 0; row < 16; ++row) EXPECT_EQ(bits[row * 96 + 33], capital_a[row]) << row;
    for (int glyph = 0; glyph < 96; ++glyph) {
        int ink = 0;
        for (int row = 0; row < 16; ++row) {
            uint8_t byte = bits[row * 96 + glyph];
            ink += byte != 0;
            EXPECT_EQ(byte & 1, 0) << "column 0 blank, glyph " << glyph;
            if (row == 0 || row > 12) {
                EXPECT_EQ(byte, 0) << "glyph " << glyph << " row " << row;
            }
        }
        EXPECT_EQ(ink == 0, glyph == 0) << "only the space is empty, glyph " << glyph;
    }

    // The glyph images are white where the bits are set and transparent elsewhere.
    Ref<TImageFont> font = Draw2DModule().default_font;
    Ref<TPixmap> a = font->LoadGlyph(font->CharToGlyph('A'))->_image->pixmaps[0];
    EXPECT_EQ(a->width, 8);
    EXPECT_EQ(a->height, 16);
    EXPECT_EQ(a->ReadPixel(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(a->ReadPixel(1, 2), 0u);
    EXPECT_EQ(font->LoadGlyph(0)->_image->flags, 0);
    EXPECT_EQ(font->CharToGlyph(31), -1);
    EXPECT_EQ(font->CharToGlyph(128), -1);
    EXPECT_EQ(font->CharToGlyph(127), 95);
}

TEST_F(Draw2DTest, TextMeasuresEightPixelsPerPrintableCharacter) {
    EXPECT_EQ(TextWidth("Boxes: 12"), 72);
    EXPECT_EQ(TextWidth("FPS: 60"), 56);
    EXPECT_EQ(TextWidth(u"a\tb\u00e9"), 16) << "no glyph, no width";
    EXPECT_EQ(TextWidth(""), 0);
    EXPECT_EQ(TextHeight(), 16);
}

TEST_F(Draw2DTest, TextSkipsCharactersWithoutGlyphAndRunsAlongTheRotatedAxis) {
    DrawText("", 0, 0);
    EXPECT_TRUE(driver->log.empty());

    DrawText(u"a\tb", 0, 0);
    auto draws = driver->Named("Frame.Draw");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].args, (F{0, 0, 8, 16, 0, 0}));
    EXPECT_EQ(draws[1].args, (F{0, 0, 8, 16, 8, 0}));

    driver->log.clear();
    SetRotation(90);
    DrawText("AB", 100, 50);
    draws = driver->Named("Frame.Draw");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_NEAR(draws[0].args[4], 100, 1e-5);
    EXPECT_NEAR(draws[0].args[5], 50, 1e-5);
    EXPECT_NEAR(draws[1].args[4], 100, 1e-5);
    EXPECT_NEAR(draws[1].args[5], 58, 1e-5);
}

TEST_F(Draw2DTest, TextHonoursTheDrawingHandleAndOrigin) {
    SetHandle(4, 8);
    DrawText("x", 10, 10);
    EXPECT_EQ(Last("Frame.Draw"), (F{0, 0, 8, 16, 6, 2}));
    SetOrigin(100, 0);
    DrawText("x", 10, 10);
    EXPECT_EQ(Last("Frame.Draw"), (F{0, 0, 8, 16, 106, 2}));
}

class TStubGlyph : public TGlyph {
public:
    Ref<TObject> Pixels() override { return pixmap; }
    float Advance() override { return 5.5f; }
    void GetRect(int& x, int& y, int& w, int& h) override {
        x = 1;
        y = -3;
        w = 4;
        h = 6;
    }
    Ref<TPixmap> pixmap = TPixmap::Create(4, 6, FORMAT_RGBA8888, 4);
};

class TStubFont : public TFont {
public:
    int Style() override { return 16; }
    int Height() override { return 11; }
    int CountGlyphs() override { return 3; }
    int CharToGlyph(int code) override { return code == 'q' ? -1 : code % 3; }
    Ref<TGlyph> LoadGlyph(int) override {
        ++loads;
        return std::make_shared<TStubGlyph>();
    }
    int loads = 0;
};

class TStubLoader : public TFontLoader {
public:
    Ref<TFont> LoadFont(const TUrl& url, int, int) override {
        if (url.Text() != u"stub.font") return nullptr;
        return font = std::make_shared<TStubFont>();
    }
    Ref<TStubFont> font;
};

TEST_F(Draw2DTest, LoadedFontsBuildGlyphsOnDemandThroughTheLoaderChain) {
    EXPECT_EQ(LoadImageFont("stub.font", 12), nullptr) << "the chain starts empty";
    auto loader = std::make_shared<TStubLoader>();
    AddFontLoader(loader);
    AddFontLoader(loader);
    EXPECT_EQ(Draw2DModule().font_loaders.First(), loader);
    EXPECT_EQ(loader->Succ(), nullptr) << "a second add changes nothing";

    Ref<TImageFont> font = LoadImageFont("stub.font", 12, 16);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->CountGlyphs(), 3);
    EXPECT_EQ(font->_imageFlags, IMAGE_FILTERED | IMAGE_MIPMAPPED);
    SetImageFont(font);
    EXPECT_EQ(TextHeight(), 11);
    EXPECT_EQ(TextWidth("abq"), 10) << "int(int(0 + 5.5) + 5.5): truncated after each glyph";
    EXPECT_EQ(loader->font->loads, 2) << "glyphs are made once and kept";
    DrawText("ab", 0, 0);
    EXPECT_EQ(loader->font->loads, 2);
    EXPECT_EQ(Last("Frame.Draw"), (F{0, 0, 4, 6, 6.5f, -3}));
    EXPECT_EQ(Last("CreateFrame"), F{6});
    SetImageFont(nullptr);
    EXPECT_EQ(GetImageFont(), Draw2DModule().default_font);
}

TEST_F(Draw2DTest, ResetUnlinksFontLoadersSoTheyCanBeAddedAgain) {
    auto older = std::make_shared<TStubLoader>();
    auto newer = std::make_shared<TStubLoader>();
    AddFontLoader(older);
    AddFontLoader(newer);
    EXPECT_EQ(newer->Succ(), older);
    Draw2DModule().Reset();
    EXPECT_EQ(newer->Succ(), nullptr);
    AddFontLoader(newer);
    EXPECT_EQ(Draw2DModule().font_loaders.First(), newer);
    EXPECT_TRUE(LoadImageFont("stub.font", 12)) << "the loader that was linked in the middle serves again";
    EXPECT_EQ(older->font, nullptr);
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

// ---- Virtual resolution

TEST(VirtualPicture, FitsTheLargestCentredRectangleWithItsAspect) {
    struct Case {
        int ww, wh, vw, vh, x, y, w, h;
    };
    const Case cases[] = {
        {800, 600, 400, 300, 0, 0, 800, 600},     // exact fit: no bars
        {1000, 600, 400, 300, 100, 0, 800, 600},  // wider: pillarbox
        {800, 800, 400, 300, 0, 100, 800, 600},   // taller: letterbox
        {801, 600, 400, 300, 0, 0, 800, 600},     // one spare column: the odd pixel goes to the right bar
        {100, 100, 3, 2, 0, 16, 100, 67},         // 66.67 rounds up
        {640, 480, 0, 0, 0, 0, 640, 480},         // off: the whole window
        {1, 1000, 1000, 1, 0, 499, 1, 1},         // never an empty picture
    };
    for (const Case& c : cases) {
        int x = -1, y = -1, w = -1, h = -1;
        VirtualPicture(c.ww, c.wh, c.vw, c.vh, x, y, w, h);
        EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{c.x, c.y, c.w, c.h}))
            << c.ww << "x" << c.wh << " at " << c.vw << "x" << c.vh;
    }
}

TEST_F(Draw2DTest, AVirtualResolutionTakesTheWholeViewportAlongAndGivesItBack) {
    SetVirtualResolution(400, 300);
    int vw = 0, vh = 0, x = -1, y = -1, w = 0, h = 0;
    GetVirtualResolution(vw, vh);
    EXPECT_EQ(vw * 1000 + vh, 400300);
    GetViewport(x, y, w, h);
    EXPECT_EQ((F{float(x), float(y), float(w), float(h)}), (F{0, 0, 400, 300}));
    SetViewport(10, 10, 50, 50);  // the program's own stays through a change
    SetVirtualResolution(0, 0);
    GetViewport(x, y, w, h);
    EXPECT_EQ((F{float(x), float(y), float(w), float(h)}), (F{10, 10, 50, 50}));
    SetViewport(0, 0, 800, 600);
    SetVirtualResolution(-5, 300);  // a size below 1 is off
    GetVirtualResolution(vw, vh);
    EXPECT_EQ(vw + vh, 0);
}

TEST_F(Draw2DTest, WindowPointsMapIntoVirtualUnitsAndBack) {
    window->width = 1000;  // picture (100, 0) 800 x 600: two pixels a unit
    float vx = 0, vy = 0, wx = 0, wy = 0;
    WindowToVirtual(150, 20, vx, vy);
    EXPECT_EQ((F{vx, vy}), (F{150, 20})) << "unchanged while off";
    SetVirtualResolution(400, 300);
    WindowToVirtual(101, 599, vx, vy);
    EXPECT_EQ((F{vx, vy}), (F{0.5f, 299.5f}));
    WindowToVirtual(50, 0, vx, vy);  // in the left bar
    EXPECT_EQ(vx, -25.0f);
    VirtualToWindow(399.5f, 150, wx, wy);
    EXPECT_EQ((F{wx, wy}), (F{899, 300}));
}

// Mouse events reach later hooks and the polled input in virtual units, not clamped, so a
// position in a bar is told from one inside the picture.
TEST_F(Draw2DTest, MouseEventsArriveInVirtualUnitsAndOutsideItInTheBars) {
    window->width = 1000;
    SetGraphics(state);
    StartPolledInput(nullptr);
    SetVirtualResolution(400, 300);
    auto move = [](int32_t id, int32_t x, int32_t y) {
        Ref<TEvent> e = TEvent::Create(id, nullptr, 1, 0, x, y, nullptr);
        e->Emit();
        return std::vector<int32_t>{e->x, e->y, MousePosX(), MousePosY()};
    };
    EXPECT_EQ(move(EVENT_MOUSEMOVE, 501, 3), (std::vector<int32_t>{200, 1, 200, 1}));
    EXPECT_EQ(move(EVENT_MOUSEMOVE, 50, 300), (std::vector<int32_t>{-25, 150, -25, 150}));  // left bar
    EXPECT_EQ(move(EVENT_MOUSEMOVE, 950, 599), (std::vector<int32_t>{425, 299, 425, 299}));  // right bar
    EXPECT_EQ(move(EVENT_MOUSEDOWN, 300, 200)[0], 100);
    EXPECT_EQ(move(EVENT_MOUSEWHEEL, 101, 200)[0], 0);
    EXPECT_EQ(move(EVENT_MOUSEMOVE, 899, 0)[0], 399);  // the picture's last column
    EXPECT_EQ(move(EVENT_KEYDOWN, 77, 88)[0], 77) << "only mouse events are mapped";
    // MoveMouse takes the same units: the window pixel it picks maps back to the point asked for.
    class TPointer : public THeadlessSystemDriver {
    public:
        void MoveMouse(int32_t x, int32_t y) override { at = {x, y}; }
        std::vector<int32_t> at;
    };
    auto pointer = std::make_shared<TPointer>();
    SetSystemDriver(pointer);
    for (auto [x, y] : {std::pair{200, 150}, {0, 0}, {399, 299}, {-25, 150}}) {
        MoveMouse(x, y);
        ASSERT_EQ(pointer->at.size(), 2u);
        EXPECT_EQ(move(EVENT_MOUSEMOVE, pointer->at[0], pointer->at[1]), (std::vector<int32_t>{x, y, x, y}));
    }
    EXPECT_EQ(pointer->at, (std::vector<int32_t>{51, 301}));  // (-25, 150): in the left bar
    SetVirtualResolution(0, 0);
    EXPECT_EQ(move(EVENT_MOUSEMOVE, 50, 300), (std::vector<int32_t>{50, 300, 50, 300}));
    MoveMouse(640, 7);
    EXPECT_EQ(pointer->at, (std::vector<int32_t>{640, 7}));
    SetSystemDriver(nullptr);
    StopPolledInput();
}

// A resize leaves a whole-window viewport following the window and a narrowed one alone.
TEST_F(Draw2DTest, TheDefaultViewportFollowsANewWindowSize) {
    class TGrowing : public TFakeGraphics {
    public:
        using TFakeGraphics::TFakeGraphics;
        int32_t TakeNewSize(int32_t* w, int32_t* h) override {
            *w = width = 1024;
            *h = height = 768;
            return 1;
        }
    };
    for (bool narrowed : {false, true}) {
        auto g = std::make_shared<TGrowing>(driver);
        Ref<TZeph2DGraphics> s = TZeph2DGraphics::Create(g, driver);
        s->MakeCurrent();
        if (narrowed) SetViewport(0, 0, 400, 600);
        int32_t w = 0, h = 0;
        ASSERT_EQ(s->TakeNewSize(&w, &h), 1);
        EXPECT_EQ(w * 10000 + h, 10240768);
        EXPECT_EQ(s->viewport_w, narrowed ? 400 : 1024);
        EXPECT_EQ(s->viewport_h, narrowed ? 600 : 768);
    }
}

}  // namespace
}  // namespace corvex

// The window driver and the offscreen driver under the same back end: one frame drawn through
// both gives the same pixels, and an image moves between them without losing or taking textures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/graphics/egl_graphics.h>
#include <corvex/graphics/gl_graphics.h>
#include "draw2d/gl/glframe.h"

namespace corvex {
namespace {

constexpr int kWidth = 200, kHeight = 150;

Ref<TPixmap> Checker(uint32_t a, uint32_t b) {
    Ref<TPixmap> p = TPixmap::Create(24, 20, FORMAT_RGBA8888, 4);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x) p->WritePixel(x, y, ((x / 4 + y / 4) % 2) ? a : b);
    return p;
}

// A frame touching every kind of drawing: blending, turned and scaled images (filtered and
// not), lines, ovals, polygons, text, a scissored viewport.
Ref<TPixmap> DrawScene(const Ref<TImage>& sharp, const Ref<TImage>& smooth) {
    SetViewport(0, 0, kWidth, kHeight);
    SetClsColor(20, 40, 60);
    Cls();
    SetBlend(BLEND_ALPHA);
    SetAlpha(0.5f);
    SetColor(0, 0, 255);
    DrawRect(0, 90, 200, 60);
    SetAlpha(1.0f);
    SetColor(255, 255, 255);
    SetRotation(33);
    SetScale(1.5f, 0.75f);
    DrawImage(sharp, 60, 50);
    DrawImage(smooth, 140, 60);
    SetRotation(0);
    SetScale(1, 1);
    SetBlend(BLEND_ADDITIVE);
    SetColor(200, 30, 10);
    DrawOval(10, 10, 50, 30);
    SetBlend(BLEND_SOLID);
    SetColor(255, 255, 0);
    DrawLine(0, 149, 199, 0);
    DrawPoly({150, 100, 190, 110, 160, 140});
    SetColor(255, 255, 255);
    DrawText("1234 Box", 2, 120);
    SetViewport(120, 0, 60, 40);
    SetColor(0, 255, 0);
    SetRotation(12);
    DrawRect(100, -10, 100, 80);
    SetRotation(0);
    SetViewport(0, 0, kWidth, kHeight);
    return GrabPixmap(0, 0, kWidth, kHeight);
}

class GLDriversAgreeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StartGLZeph2DModule();
        StartEGLGraphicsModule();
    }
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "needs a display for the window driver";
        ASSERT_TRUE(EGLGraphicsAvailable()) << ToUtf8(EGLGraphicsProblem());
    }
    void TearDown() override {
        CloseOpenedGraphics();
        SetGLZeph2DContextDriver(nullptr);
    }
    static void Open(const Ref<TGLContextDriver>& driver) {
        SetGLZeph2DContextDriver(driver);
        ASSERT_TRUE(OpenGraphics(kWidth, kHeight, 0, 0, 0));
    }
};

TEST_F(GLDriversAgreeTest, ATextureOfTheOtherDriverIsNeverDeletedHere) {
    // An image drawn in a window has a texture name in the window driver's share group.
    Open(GLGraphicsDriver());
    Ref<TImage> moved = LoadImage(Checker(0xFFFF0000, 0xFFFFFFFF), 0);
    DrawImage(moved, 0, 0);
    auto windowFrame = std::dynamic_pointer_cast<TGLImageFrame>(moved->frames[0]);
    ASSERT_TRUE(windowFrame);
    const GLuint windowName = windowFrame->name;
    windowFrame.reset();

    // Offscreen images until one has the same number in the offscreen share group.
    Open(EGLGraphicsDriver());
    std::vector<Ref<TImage>> held;
    Ref<TImage> twin;
    for (int i = 0; i < 256 && !twin; ++i) {
        Ref<TImage> image = LoadImage(Checker(0xFF00FF00, 0xFF00FF00), 0);
        DrawImage(image, 0, 0);
        held.push_back(image);
        if (std::dynamic_pointer_cast<TGLImageFrame>(image->frames[0])->name == windowName) twin = image;
    }
    ASSERT_TRUE(twin) << "no offscreen texture numbered " << windowName;

    // Drawing the moved image here remakes its texture and lets the window's go; the twin must
    // keep its own.
    SetClsColor(0, 0, 0);
    Cls();
    DrawImage(moved, 0, 0);
    Ref<TPixmap> p = GrabPixmap(0, 0, 1, 1);
    EXPECT_EQ(p->ReadPixel(0, 0) & 0xFFFFFF, 0xFFFFFFu) << "the moved image is drawn from a new texture";
    Cls();
    DrawImage(twin, 0, 0);
    EXPECT_EQ(GrabPixmap(5, 5, 1, 1)->ReadPixel(0, 0) & 0xFFFFFF, 0x00FF00u) << "the twin lost its texture";
}

TEST_F(GLDriversAgreeTest, TheSameFrameGivesTheSamePixels) {
    Ref<TImage> sharp = LoadImage(Checker(0xFFFF8000, 0x80FFFFFF), 0);
    Ref<TImage> smooth = LoadImage(Checker(0xFF0080FF, 0xFF202020), IMAGE_FILTERED | IMAGE_MIPMAPPED);
    Open(GLGraphicsDriver());
    Ref<TPixmap> window = DrawScene(sharp, smooth);
    Open(EGLGraphicsDriver());
    Ref<TPixmap> offscreen = DrawScene(sharp, smooth);
    int differing = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (window->ReadPixel(x, y) != offscreen->ReadPixel(x, y) && ++differing <= 5) {
                ADD_FAILURE() << std::hex << "(" << std::dec << x << ", " << y << "): window " << std::hex
                              << window->ReadPixel(x, y) << ", offscreen " << offscreen->ReadPixel(x, y);
            }
        }
    EXPECT_EQ(differing, 0);
    // The scene is not trivially uniform.
    EXPECT_NE(window->ReadPixel(60, 50), window->ReadPixel(2, 2));
}

}  // namespace
}  // namespace corvex

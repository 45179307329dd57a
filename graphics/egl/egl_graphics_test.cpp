// The offscreen driver without any display: buffers of any size, back and front buffers, the
// simulated vertical blank, sizes it cannot make, reopening, modes and emitted input.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include <corvex/graphics/egl_graphics.h>
#include <corvex/system/event.h>
#include <corvex/system/input.h>
#include <corvex/system/keys.h>
#include "tests/support/resident_memory.h"
#include "graphics/egl/native.h"
#include "graphics/egl/egl_module.h"

namespace corvex {
namespace {

using test_support::ResidentBytes;
// Growth bound for the drop loops.
constexpr int64_t kDropGrowthBound = test_support::GrowthBound(100L << 20);

uint32_t Rgb(const Ref<TPixmap>& p, int x, int y) { return p->ReadPixel(x, y) & 0xFFFFFF; }

// Every pixel of the front buffer is rgb.
::testing::AssertionResult FrontIs(const Ref<TGraphics>& g, uint32_t rgb) {
    Ref<TPixmap> p = std::dynamic_pointer_cast<TEGLGraphics>(g)->ReadFront();
    if (!p) return ::testing::AssertionFailure() << "no front buffer";
    for (int y = 0; y < p->height; ++y) {
        for (int x = 0; x < p->width; ++x) {
            if (Rgb(p, x, y) != rgb) {
                return ::testing::AssertionFailure() << std::hex << "pixel (" << std::dec << x << ", " << y
                                                     << ") is " << std::hex << Rgb(p, x, y) << ", want " << rgb;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

void Clear(float r, float g, float b) {
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

uint32_t BackPixel(int x, int y) {
    uint8_t rgba[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
}

class EGLGraphicsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartEGLGraphicsModule(); }
    void SetUp() override {
        ASSERT_TRUE(EGLGraphicsAvailable()) << ToUtf8(EGLGraphicsProblem());
        SelectGraphicsDriver(EGLGraphicsDriver(), GFX_DOUBLE_BUFFER);
    }
    void TearDown() override {
        CloseOpenedGraphics();
        EXPECT_TRUE(egl::EGLModule().list.empty()) << "a context was left open";
    }
};

TEST_F(EGLGraphicsTest, OpensAnySizeWithTheSettingsAskedFor) {
    for (auto [w, h] : {std::pair{1, 1}, {37, 5}, {800, 600}, {2000, 3}}) {
        Ref<TGraphics> g = OpenGraphics(w, h, 0, 30, GFX_ALPHA_BITS);
        ASSERT_TRUE(g) << w << " x " << h;
        EXPECT_EQ(CurrentGraphicsWidth(), w);
        EXPECT_EQ(CurrentGraphicsHeight(), h);
        EXPECT_EQ(CurrentGraphicsDepth(), 0);
        EXPECT_EQ(CurrentGraphicsHertz(), 30);
        EXPECT_EQ(CurrentGraphicsFlags(), GFX_DOUBLE_BUFFER | GFX_ALPHA_BITS);
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], w);  // the buffer is the default viewport, as a window's client area is
        EXPECT_EQ(viewport[3], h);
    }
}

TEST_F(EGLGraphicsTest, FlipPresentsTheFinishedFrameOnly) {
    Ref<TGraphics> g = OpenGraphics(40, 30, 0, 0, 0);
    ASSERT_TRUE(g);
    EXPECT_TRUE(FrontIs(g, 0x000000));  // nothing presented yet
    Clear(1, 0, 0);
    EXPECT_TRUE(FrontIs(g, 0x000000)) << "a frame showed before it was flipped";
    Flip(0);
    EXPECT_TRUE(FrontIs(g, 0xFF0000));
    // Half of the next frame: the front buffer keeps the last finished one.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 20, 30);
    Clear(0, 1, 0);
    EXPECT_TRUE(FrontIs(g, 0xFF0000));
    EXPECT_EQ(BackPixel(5, 5), 0x00FF00u);  // drawing and reading go to the back buffer
    EXPECT_EQ(BackPixel(35, 5), 0xFF0000u);
    // The scissor box is the program's; presenting copies the whole buffer all the same.
    Flip(0);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    glDisable(GL_SCISSOR_TEST);
    Ref<TPixmap> front = std::dynamic_pointer_cast<TEGLGraphics>(g)->ReadFront();
    EXPECT_EQ(Rgb(front, 5, 29), 0x00FF00u);  // row 0 at the top
    EXPECT_EQ(Rgb(front, 35, 0), 0xFF0000u);
}

TEST_F(EGLGraphicsTest, SingleBufferedShowsWhatIsDrawn) {
    SelectGraphicsDriver(EGLGraphicsDriver(), 0);
    Ref<TGraphics> g = OpenGraphics(16, 16, 0, 0, 0);
    ASSERT_TRUE(g);
    EXPECT_EQ(CurrentGraphicsFlags(), 0);
    Clear(0, 0, 1);
    glFinish();
    EXPECT_TRUE(FrontIs(g, 0x0000FF));
    Flip(0);
    EXPECT_TRUE(FrontIs(g, 0x0000FF));
}

TEST_F(EGLGraphicsTest, ContextsKeepTheirOwnBuffers) {
    Ref<TGraphics> a = CreateGraphics(8, 8, 0, 0, 0);
    Ref<TGraphics> b = CreateGraphics(12, 4, 0, 0, 0);
    ASSERT_TRUE(a && b);
    SetGraphics(a);
    Clear(1, 1, 0);
    Flip(0);
    SetGraphics(b);
    Clear(0, 1, 1);
    Flip(0);
    EXPECT_TRUE(FrontIs(a, 0xFFFF00));
    EXPECT_TRUE(FrontIs(b, 0x00FFFF));
    CloseGraphics(a);
    CloseGraphics(b);
}

TEST_F(EGLGraphicsTest, ReopensAfterAClose) {
    Ref<TGraphics> first = OpenGraphics(20, 10, 0, 0, 0);
    ASSERT_TRUE(first);
    Clear(1, 0, 0);
    Flip(0);
    CloseOpenedGraphics();
    EXPECT_FALSE(CurrentGraphics());
    first->Close();  // twice does nothing
    int32_t w = 1, h = 1, d = 1, hz = 1, f = 1;
    first->GetSettings(&w, &h, &d, &hz, &f);
    EXPECT_EQ(w + h + d + hz + f, 0);
    EXPECT_FALSE(std::dynamic_pointer_cast<TEGLGraphics>(first)->ReadFront());

    Ref<TGraphics> second = OpenGraphics(30, 20, 0, 0, 0);
    ASSERT_TRUE(second);
    EXPECT_EQ(CurrentGraphicsWidth(), 30);
    EXPECT_TRUE(FrontIs(second, 0x000000));  // nothing of the old buffer
    Clear(0, 1, 0);
    Flip(0);
    EXPECT_TRUE(FrontIs(second, 0x00FF00));
}

// Each 1024 x 768 context holds megabytes of buffers: dropping the last reference must free them,
// whether or not the program closed it first, and current or not.
TEST_F(EGLGraphicsTest, DroppedContextsFreeTheirBuffers) {
    auto cycle = [](int i) {
        Ref<TGraphics> g = CreateGraphics(1024, 768, 0, 0, GFX_DOUBLE_BUFFER);
        ASSERT_TRUE(g);
        SetGraphics(g);
        Clear(1, 0, 0);
        Flip(0);
        if (i % 3 == 1) SetGraphics(nullptr);  // dropped while not current
        if (i % 3 == 2) CloseGraphics(g);      // closed, then dropped
    };
    cycle(0);
    SetGraphics(nullptr);
    const int64_t before = ResidentBytes();
    for (int i = 0; i < 60; ++i) {
        cycle(i);
        SetGraphics(nullptr);  // the module lets go of the current one
        ASSERT_TRUE(egl::EGLModule().list.empty()) << "context " << i << " outlived its last reference";
    }
    const int64_t grown = ResidentBytes() - before;
    EXPECT_LT(grown, kDropGrowthBound) << "the process grew by " << (grown >> 20) << " MB";
}

TEST_F(EGLGraphicsTest, RefusesWhatItCannotMakeAndKeepsTheCurrentContext) {
    Ref<TGraphics> g = CreateGraphics(10, 10, 0, 0, 0);
    ASSERT_TRUE(g);
    SetGraphics(g);
    Clear(1, 0, 1);
    const int32_t largest = egl::MaxBufferSize();
    ASSERT_GT(largest, 0);
    EXPECT_FALSE(CreateGraphics(0, 10, 0, 0, 0));
    EXPECT_FALSE(CreateGraphics(10, -1, 0, 0, 0));
    EXPECT_FALSE(CreateGraphics(largest + 1, 10, 0, 0, 0));
    EXPECT_FALSE(CreateGraphics(10, largest + 1, 0, 0, 0));
    EXPECT_FALSE(CreateGraphics(10, 10, 8, 0, 0));                 // no 8-bit buffers
    EXPECT_FALSE(CreateGraphics(10, 10, 0, 0, GFX_ACCUM_BUFFER));  // framebuffers have no accumulation
    EXPECT_FALSE(AttachGraphics(1, 0));                            // no windows to adopt
    EXPECT_EQ(egl::EGLModule().list.size(), 1u);
    // The context current before the failures still draws.
    EXPECT_EQ(BackPixel(3, 3), 0xFF00FFu);
    Flip(0);
    EXPECT_TRUE(FrontIs(g, 0xFF00FF));
    CloseGraphics(g);
}

TEST_F(EGLGraphicsTest, BuffersAskedForByFlagsExist) {
    Ref<TGraphics> g = OpenGraphics(8, 8, 32, 0, GFX_DEPTH_BUFFER | GFX_STENCIL_BUFFER | GFX_ALPHA_BITS);
    ASSERT_TRUE(g);
    GLint depth = 0, stencil = 0, alpha = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    EXPECT_GE(depth, 16);
    EXPECT_GE(stencil, 1);
    EXPECT_GE(alpha, 1);
    OpenGraphics(8, 8, 0, 0, 0);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(alpha, 0);
}

TEST_F(EGLGraphicsTest, ModesAreSizesItCanMake) {
    ASSERT_GT(GraphicsModeCount(), 0);
    EXPECT_EQ(HasGraphicsMode(800, 600, 32, 0), 1);
    EXPECT_EQ(HasGraphicsMode(800, 600, 8, 0), 0);
    for (const Ref<TGraphicsMode>& m : GraphicsModes()) {
        EXPECT_LE(m->width, egl::MaxBufferSize());
        if (m->width * m->height > 1920 * 1080) continue;  // keep the test small
        Ref<TGraphics> g = CreateGraphics(m->width, m->height, m->depth, m->hertz, 0);
        EXPECT_TRUE(g) << ToUtf8(m->ToString());
        if (g) CloseGraphics(g);
    }
}

TEST_F(EGLGraphicsTest, SyncedFlipsWaitForTheSimulatedBlank) {
    ASSERT_TRUE(OpenGraphics(4, 4, 0, 20, 0));
    // Five flips end on five successive blanks after the start: four whole periods of 50 ms.
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) Flip(1);
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(us.count(), 4 * 50000);
}

TEST_F(EGLGraphicsTest, PacedFlipsKeepTheOpenedRate) {
    ASSERT_TRUE(OpenGraphics(4, 4, 0, 25, 0));  // windowed with a rate: paced in software
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) Flip(-1);
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(us.count(), 5 * 40000 - 1000);  // 25 Hz: 40 ms a frame, on the millisecond clock
    Flip(0);                                   // presents at once, still the finished frame
    Clear(0, 0, 1);
    Flip(-1);
    EXPECT_TRUE(FrontIs(OpenedGraphics(), 0x0000FF));
}

TEST_F(EGLGraphicsTest, InputComesOnlyFromEmittedEvents) {
    ASSERT_TRUE(OpenGraphics(4, 4, 0, 0, 0));
    EXPECT_EQ(IsKeyDown(KEY_SPACE), 0);
    TEvent::Create(EVENT_KEYDOWN, nullptr, KEY_SPACE, 0, 0, 0, nullptr)->Emit();
    EXPECT_EQ(IsKeyDown(KEY_SPACE), 1);
    EXPECT_EQ(KeyHits(KEY_SPACE), 1);
    TEvent::Create(EVENT_KEYUP, nullptr, KEY_SPACE, 0, 0, 0, nullptr)->Emit();
    EXPECT_EQ(IsKeyDown(KEY_SPACE), 0);
}

}  // namespace
}  // namespace corvex

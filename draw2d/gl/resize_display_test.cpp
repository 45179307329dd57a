// Resizable graphics and the virtual resolution on real pixels, over the plain OpenGL drivers:
// a window (under Xvfb resized through Xlib; on Windows through SetWindowPos), and on Linux an
// offscreen buffer resized through its own call. The size changes only between frames; the bars beside the picture stay black whatever
// is drawn; the real pointer arrives in virtual units.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/graphics/gl_graphics.h>
#include <corvex/system/clock.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/system.h>
#ifdef _WIN32
#include "graphics/wgl/native.h"
#else
#include <corvex/graphics/egl_graphics.h>
#include "graphics/glx/native.h"
#include "system/x11/display.h"
#endif

namespace corvex {
namespace {

enum class Backend { Window, Offscreen };

#ifdef _WIN32
bool HaveDisplay() { return true; }
#else
bool HaveDisplay() { return std::getenv("DISPLAY") && *std::getenv("DISPLAY"); }
#endif

// Pumps events until done() or ms milliseconds have passed.
bool PumpUntil(const std::function<bool()>& done, int ms = 2000) {
    for (int i = 0; i < ms / 5; ++i) {
        PollSystemEvents();
        if (done()) return true;
        SleepMillis(5);
    }
    return false;
}

std::vector<int32_t> sizeEvents;  // x, y of every EVENT_WINDOWSIZE
Ref<TObject> RecordSize(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    auto* e = dynamic_cast<TEvent*>(data.get());
    if (e && e->id == EVENT_WINDOWSIZE) sizeEvents.insert(sizeEvents.end(), {e->x, e->y});
    return data;
}

// One letter a column of row y of the whole window: K black, R red, G green, B blue, W white,
// ? anything else; runs of a letter collapse to "letter*count".
std::string Columns(int y) {
    int px = 0, py = 0, pw = 0, ph = 0;
    int vw = 0, vh = 0;
    GetVirtualResolution(vw, vh);
    VirtualPicture(CurrentGraphicsWidth(), CurrentGraphicsHeight(), vw, vh, px, py, pw, ph);
    // GrabPixmap counts from the picture's corner.
    Ref<TPixmap> row = GrabPixmap(-px, y - py, CurrentGraphicsWidth(), 1);
    std::string out;
    char last = 0;
    int run = 0;
    auto flush = [&] {
        if (run) out += std::string(1, last) + "*" + std::to_string(run) + " ";
    };
    for (int x = 0; x < row->width; ++x) {
        uint32_t v = row->ReadPixel(x, 0) & 0xFFFFFF;
        char c = v == 0 ? 'K' : v == 0xFF0000 ? 'R' : v == 0x00FF00 ? 'G' : v == 0x0000FF ? 'B' : v == 0xFFFFFF ? 'W' : '?';
        if (c != last) {
            flush();
            last = c;
            run = 0;
        }
        ++run;
    }
    flush();
    return out;
}

class ResizeDisplayTest : public ::testing::TestWithParam<Backend> {
protected:
    static void SetUpTestSuite() {
        StartGLZeph2DModule();
#ifndef _WIN32
        StartEGLGraphicsModule();
#endif
    }
    void SetUp() override {
        if (GetParam() == Backend::Window) {
            if (!HaveDisplay()) GTEST_SKIP() << "needs a display";
            SetGLZeph2DContextDriver(GLGraphicsDriver());
        } else {
#ifdef _WIN32
            GTEST_SKIP() << "no offscreen driver on Windows";
#else
            if (!EGLGraphicsAvailable()) GTEST_SKIP() << "EGL cannot work here";
            SetGLZeph2DContextDriver(EGLGraphicsDriver());
#endif
        }
        sizeEvents.clear();
        InstallHook(EventEmitHookId(), RecordSize, nullptr, 0);
    }
    void TearDown() override {
        UninstallHook(EventEmitHookId(), RecordSize, nullptr);
        CloseOpenedGraphics();
    }
    Ref<TGraphics> Plain() { return std::dynamic_pointer_cast<TZeph2DGraphics>(OpenedGraphics())->_graphics; }
    // Resizes as a user would; true once the driver has noted it (nothing taken yet).
    bool ResizeTo(int w, int h) {
#ifndef _WIN32
        if (GetParam() == Backend::Offscreen) return static_cast<TEGLGraphics&>(*Plain()).Resize(w, h) == 1;
#endif
        TGLNativeContext* record = static_cast<TGLGraphics&>(*Plain())._context;
#ifdef _WIN32
        const DWORD style = DWORD(GetWindowLongW(record->window, GWL_STYLE));
        RECT frame{0, 0, w, h};
        AdjustWindowRectEx(&frame, style, FALSE, 0);
        SetWindowPos(record->window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
#else
        XResizeWindow(x11::X11Display(), record->window, unsigned(w), unsigned(h));
        XFlush(x11::X11Display());
#endif
        return PumpUntil([&] { return record->newWidth == w && record->newHeight == h; });
    }
    // Forces the window to w x h as a window manager may do to any window.
    void ForceSize(int w, int h) {
        TGLNativeContext* record = static_cast<TGLGraphics&>(*Plain())._context;
#ifdef _WIN32
        SetWindowPos(record->window, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
#else
        XResizeWindow(x11::X11Display(), record->window, unsigned(w), unsigned(h));
        XFlush(x11::X11Display());
#endif
        PumpUntil([] { return false; }, 200);
    }
    // Puts the real pointer at the window's client point (x, y).
    void PointAt(int x, int y) {
        TGLNativeContext* record = static_cast<TGLGraphics&>(*Plain())._context;
#ifdef _WIN32
        POINT p{x, y};
        ClientToScreen(record->window, &p);
        SetCursorPos(p.x, p.y);
#else
        XWarpPointer(x11::X11Display(), None, record->window, 0, 0, 0, 0, x, y);
        XFlush(x11::X11Display());
#endif
        PumpUntil([] { return false; }, 200);
    }
    // Whether the window refuses a size from the user.
    bool FixedSize() {
        TGLNativeContext* record = static_cast<TGLGraphics&>(*Plain())._context;
#ifdef _WIN32
        return !(GetWindowLongW(record->window, GWL_STYLE) & WS_THICKFRAME);
#else
        XSizeHints hints{};
        long supplied = 0;
        if (!XGetWMNormalHints(x11::X11Display(), record->window, &hints, &supplied)) return false;
        return (hints.flags & (PMinSize | PMaxSize)) == (PMinSize | PMaxSize);
#endif
    }
};

// A resize arriving halfway through a frame: the rest of that frame is drawn at the old size and
// scale, the new size comes with Flip (once, with its event), and the next frame fills it.
TEST_P(ResizeDisplayTest, AResizeWhileAFrameIsHalfDrawnWaitsForTheFrameBoundary) {
    ASSERT_TRUE(OpenGraphics(200, 100, 0, 0, GFX_RESIZABLE));
    SetVirtualResolution(100, 100);  // picture (50, 0) 100 x 100, a unit a pixel
    SetClsColor(255, 0, 0);
    Flip(0);
    Cls();
    SetColor(0, 255, 0);
    DrawRect(0, 0, 50, 100);
    ASSERT_TRUE(ResizeTo(400, 100));
    PollSystemEvents();
    SetColor(0, 0, 255);
    DrawRect(50, 0, 50, 100);
    EXPECT_EQ(CurrentGraphicsWidth(), 200);
    EXPECT_TRUE(sizeEvents.empty());
    EXPECT_EQ(Columns(50), "K*50 G*50 B*50 K*50 ") << "the half-drawn frame was moved or stretched";

    Flip(0);
    EXPECT_EQ(sizeEvents, (std::vector<int32_t>{400, 100}));
    EXPECT_EQ(CurrentGraphicsWidth(), 400);
    Cls();
    SetColor(255, 255, 255);
    DrawRect(0, 0, 100, 100);
    EXPECT_EQ(Columns(50), "K*150 W*100 K*150 ");  // now scaled 1:1 in the middle of 400
    Flip(0);
    EXPECT_EQ(sizeEvents.size(), 2u) << "one event for one resize";
}

// Whatever is drawn, however far outside the virtual area, the bars stay black: pillarbox
// first, then a letterbox after the window turns tall.
TEST_P(ResizeDisplayTest, LetterboxBarsAreNeverDrawnOverAndNeverCoverThePicture) {
    ASSERT_TRUE(OpenGraphics(300, 100, 0, 0, GFX_RESIZABLE));
    SetVirtualResolution(50, 50);  // picture (100, 0) 100 x 100: two pixels a unit
    SetClsColor(255, 0, 0);
    Flip(0);
    Cls();
    EXPECT_EQ(Columns(10), "K*100 R*100 K*100 ");
    SetViewport(-20, -20, 100, 100);  // clipped to the picture, not the window
    SetClsColor(0, 0, 255);
    Cls();
    EXPECT_EQ(Columns(10), "K*100 B*100 K*100 ");
    SetColor(255, 255, 255);
    DrawRect(-50, -50, 150, 150);
    SetLineWidth(9);
    DrawLine(-40, 25, 90, 25);
    EXPECT_EQ(Columns(10), "K*100 W*100 K*100 ");
    EXPECT_EQ(Columns(50), "K*100 W*100 K*100 ");
    Flip(0);
    ASSERT_TRUE(ResizeTo(150, 450));  // wide enough for a Windows caption
    Flip(0);
    ASSERT_EQ(CurrentGraphicsHeight(), 450);
    SetViewport(0, 0, 50, 50);
    SetClsColor(0, 255, 0);
    Cls();
    SetColor(0, 0, 255);
    DrawRect(0, 0, 50, 50);
    Ref<TPixmap> column = GrabPixmap(75, -150, 1, 450);  // picture (0, 150) 150 x 150
    std::string rows;
    for (int y : {0, 149, 150, 299, 300, 449}) rows += (column->ReadPixel(0, y) & 0xFFFFFF) == 0 ? 'K' : 'B';
    EXPECT_EQ(rows, "KKBBKK");
    SetVirtualResolution(0, 0);  // window pixels again, over the whole window
    int x = 0, y = 0, w = 0, h = 0;
    GetViewport(x, y, w, h);
    EXPECT_EQ(w * 1000 + h, 150450);
    Cls();
    EXPECT_EQ((GrabPixmap(50, 5, 1, 1)->ReadPixel(0, 0) & 0xFFFFFF), 0x00FF00u);
}

// Without GFX_RESIZABLE nothing changes: the window keeps its fixed size hints, a forced
// resize is not taken, and no event comes.
TEST_P(ResizeDisplayTest, WithoutTheFlagTheSizeStaysAsOpened) {
    ASSERT_TRUE(OpenGraphics(200, 100, 0, 0, 0));
#ifndef _WIN32
    if (GetParam() == Backend::Offscreen) {
        EXPECT_EQ(static_cast<TEGLGraphics&>(*Plain()).Resize(300, 100), 0);
    } else
#endif
    {
        EXPECT_TRUE(FixedSize());
        ForceSize(300, 100);
    }
    Flip(0);
    EXPECT_EQ(CurrentGraphicsWidth(), 200);
    EXPECT_TRUE(sizeEvents.empty());
}

// The real pointer over the window: in the bars it lies outside the virtual area.
TEST_P(ResizeDisplayTest, ThePointerIsReportedInVirtualUnits) {
    if (GetParam() == Backend::Offscreen) GTEST_SKIP() << "an offscreen buffer has no pointer";
    ASSERT_TRUE(OpenGraphics(400, 100, 0, 0, GFX_RESIZABLE));
    SetVirtualResolution(50, 25);  // picture (100, 0) 200 x 100: four pixels a unit
    auto pointAt = [&](int x, int y) {
        PointAt(x, y);
        return std::vector<int32_t>{MousePosX(), MousePosY()};
    };
    EXPECT_EQ(pointAt(150, 50), (std::vector<int32_t>{12, 12}));
    EXPECT_EQ(pointAt(20, 10), (std::vector<int32_t>{-20, 2}));  // left bar
    EXPECT_EQ(pointAt(399, 99), (std::vector<int32_t>{74, 24}));  // right bar
    EXPECT_EQ(pointAt(299, 0), (std::vector<int32_t>{49, 0}));   // the picture's last column
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Drivers, ResizeDisplayTest, ::testing::Values(Backend::Window),
#else
INSTANTIATE_TEST_SUITE_P(Drivers, ResizeDisplayTest, ::testing::Values(Backend::Window, Backend::Offscreen),
#endif
                         [](const ::testing::TestParamInfo<Backend>& info) {
                             return info.param == Backend::Window ? "Window" : "Offscreen";
                         });

}  // namespace
}  // namespace corvex

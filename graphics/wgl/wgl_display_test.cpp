// The WGL driver on a desktop (Wine in Xvfb, or Windows): window geometry, title and class,
// pixel formats from the graphics flags, texture sharing with the hidden context, the swap
// interval rule of Flip, closing, the close box, adopted windows, full-screen modes given back,
// and pixels drawn into the back buffer read back.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include <corvex/graphics/gl_graphics.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/system.h>
#include "graphics/wgl/native.h"
#include "graphics/wgl/wgl_module.h"
#include "system/win32/win32_driver.h"

using namespace corvex;
using namespace corvex::wgl;

namespace {

class WGLDriver : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartGLGraphicsModule(); }
    void SetUp() override {
        // The pointer parked far from our windows: only the messages a test sends reach them.
        SetCursorPos(1270, 1014);
        WGLModule().Reset();
        SetGraphics(nullptr);
    }
    void TearDown() override {
        SetGraphics(nullptr);
        PollSystemEvents();
    }
    static TGLContextRecord* Record(const Ref<TGraphics>& g) {
        auto* gl = dynamic_cast<TGLGraphics*>(g.get());
        return gl ? gl->_context : nullptr;
    }
};

TEST(WGLPixelFormat, RequestAsksOneBitOfEachBufferTheFlagsName) {
    const PIXELFORMATDESCRIPTOR none = PixelFormatRequest(0);
    EXPECT_EQ(none.nSize, 40);
    EXPECT_EQ(none.nVersion, 1);
    EXPECT_EQ(none.dwFlags, static_cast<DWORD>(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL));
    EXPECT_EQ(none.cColorBits, 1);
    EXPECT_EQ(none.cAlphaBits + none.cDepthBits + none.cStencilBits + none.cAccumBits, 0);
    const PIXELFORMATDESCRIPTOR all = PixelFormatRequest(GFX_DOUBLE_BUFFER | GFX_ALPHA_BITS | GFX_DEPTH_BUFFER |
                                                         GFX_STENCIL_BUFFER | GFX_ACCUM_BUFFER);
    EXPECT_EQ(all.dwFlags, static_cast<DWORD>(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER));
    EXPECT_EQ(all.cAlphaBits, 1);
    EXPECT_EQ(all.cDepthBits, 1);
    EXPECT_EQ(all.cStencilBits, 1);
    EXPECT_EQ(all.cAccumBits, 1);

    PIXELFORMATDESCRIPTOR single = PixelFormatRequest(0);
    single.cColorBits = 24;
    EXPECT_TRUE(FormatSatisfies(single, 0));
    EXPECT_FALSE(FormatSatisfies(single, GFX_DOUBLE_BUFFER));
    EXPECT_FALSE(FormatSatisfies(single, GFX_DEPTH_BUFFER));
    single.cDepthBits = 24;
    EXPECT_TRUE(FormatSatisfies(single, GFX_DEPTH_BUFFER));
}

TEST_F(WGLDriver, WindowHasItsClientAreaAtTheRightPlaceWithCaptionTitleAndFormat) {
    Ref<TGraphics> g = CreateGraphics(800, 600, 0, 60, GFX_DOUBLE_BUFFER);
    ASSERT_TRUE(g);
    TGLContextRecord* r = Record(g);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->kind, KIND_WINDOW);
    int32_t w, h, d, hz, f;
    g->GetSettings(&w, &h, &d, &hz, &f);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_EQ(d, 0);
    EXPECT_EQ(hz, 60);
    EXPECT_EQ(f, GFX_DOUBLE_BUFFER);
    RECT client{};
    GetClientRect(r->window, &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    POINT origin{0, 0};
    ClientToScreen(r->window, &origin);
    EXPECT_EQ(origin.x, 32);
    EXPECT_EQ(origin.y, 32);
    wchar_t text[64] = {};
    GetWindowTextW(r->window, text, 64);
    EXPECT_STREQ(text, L"Corvex Application");
    GetClassNameW(r->window, text, 64);
    EXPECT_STREQ(text, L"Corvex GLGraphics");
    const LONG style = GetWindowLongW(r->window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);  // fixed size
    EXPECT_TRUE(IsWindowVisible(r->window));
    PIXELFORMATDESCRIPTOR format{};
    ASSERT_TRUE(DescribePixelFormat(r->dc, GetPixelFormat(r->dc), sizeof format, &format));
    EXPECT_TRUE(format.dwFlags & PFD_DOUBLEBUFFER);
    CloseGraphics(g);
}

TEST_F(WGLDriver, BuffersFollowTheFlags) {
    Ref<TGraphics> g = CreateGraphics(64, 48, 0, 0, GFX_DEPTH_BUFFER | GFX_STENCIL_BUFFER);
    ASSERT_TRUE(g);
    PIXELFORMATDESCRIPTOR format{};
    TGLContextRecord* r = Record(g);
    ASSERT_TRUE(DescribePixelFormat(r->dc, GetPixelFormat(r->dc), sizeof format, &format));
    EXPECT_GT(format.cDepthBits, 0);
    EXPECT_GT(format.cStencilBits, 0);
    EXPECT_TRUE(format.dwFlags & PFD_DOUBLEBUFFER);  // the driver's default flags add it
    CloseGraphics(g);
}

TEST_F(WGLDriver, ContextMadeWhileAnotherIsCurrentSharesItsTextures) {
    Ref<TGraphics> first = CreateGraphics(64, 64, 0, 0, 0);
    ASSERT_TRUE(first);
    SetGraphics(first);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned char red[4] = {255, 0, 0, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, red);
    glFinish();
    ASSERT_TRUE(glIsTexture(texture));

    Ref<TGraphics> second = CreateGraphics(64, 64, 0, 0, 0);  // made while the first is current
    ASSERT_TRUE(second);
    SetGraphics(second);
    EXPECT_EQ(wglGetCurrentContext(), Record(second)->context);
    EXPECT_TRUE(glIsTexture(texture));
    // The hidden context sees it too, and the texture outlives the window it was made in.
    CloseGraphics(first);
    GLGraphicsDriver()->SwapSharedContext();
    EXPECT_EQ(wglGetCurrentContext(), WGLModule().shared.context);
    EXPECT_TRUE(glIsTexture(texture));
    GLGraphicsDriver()->SwapSharedContext();
    EXPECT_EQ(wglGetCurrentContext(), Record(second)->context);
    glDeleteTextures(1, &texture);
    CloseGraphics(second);
}

TEST_F(WGLDriver, FlipSetsTheSwapIntervalOnlyWhenSyncChanges) {
    Ref<TGraphics> g = CreateGraphics(64, 64, 0, 0, GFX_DOUBLE_BUFFER);
    ASSERT_TRUE(g);
    SetGraphics(g);
    TWGLModule& s = WGLModule();
    GLGraphicsDriver()->Flip(0);
    EXPECT_EQ(s.swapIntervalCalls, 1);
    EXPECT_EQ(s.lastSwapInterval, 0);
    GLGraphicsDriver()->Flip(0);
    EXPECT_EQ(s.swapIntervalCalls, 1);
    // Where the extension is offered, the interval really is the one set.
    using TGetInterval = int(WINAPI*)();
    auto getInterval = reinterpret_cast<TGetInterval>(
        reinterpret_cast<void*>(wglGetProcAddress("wglGetSwapIntervalEXT")));
    if (getInterval) {
        EXPECT_EQ(getInterval(), 0);
    }
    GLGraphicsDriver()->Flip(5);
    EXPECT_EQ(s.swapIntervalCalls, 2);
    EXPECT_EQ(s.lastSwapInterval, 1);
    if (getInterval) {
        EXPECT_EQ(getInterval(), 1);
    }
    GLGraphicsDriver()->Flip(1);
    EXPECT_EQ(s.swapIntervalCalls, 2);
    CloseGraphics(g);
}

TEST_F(WGLDriver, ClosingTheCurrentContextLeavesNoneAndTwiceDoesNothing) {
    Ref<TGraphics> g = CreateGraphics(64, 64, 0, 0, 0);
    ASSERT_TRUE(g);
    SetGraphics(g);
    TGLContextRecord* r = Record(g);
    HWND window = r->window;
    ASSERT_EQ(wglGetCurrentContext(), r->context);
    const size_t listed = WGLModule().list.size();
    g->Close();
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(WGLModule().current, nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(WGLModule().list.size(), listed - 1);
    g->Close();
    EXPECT_EQ(WGLModule().list.size(), listed - 1);
    int32_t w, h, d, hz, f;
    g->GetSettings(&w, &h, &d, &hz, &f);
    EXPECT_EQ(w + h + d + hz + f, 0);
}

TEST_F(WGLDriver, CloseBoxAndKeysBecomeEventsAndTheWindowStays) {
    Ref<TGraphics> g = OpenGraphics(120, 90, 0, 0, 0);
    ASSERT_TRUE(g);
    HWND window = Record(g)->window;
    TerminateRequested();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(TerminateRequested(), 1);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(SendMessageW(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
    // Right Shift (scan 0x36) is key 161, through the window procedure and the polled state.
    PostMessageW(window, WM_KEYDOWN, VK_SHIFT, static_cast<LPARAM>(1u | (0x36u << 16)));
    EXPECT_EQ(IsKeyDown(161), 1);
    EXPECT_EQ(IsKeyDown(160), 0);
    PostMessageW(window, WM_KEYUP, VK_SHIFT, static_cast<LPARAM>(1u | (0x36u << 16) | (3u << 30)));
    EXPECT_EQ(IsKeyDown(161), 0);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 40));
    EXPECT_EQ(IsMouseDown(1), 1);
    EXPECT_EQ(MousePosX(), 0);  // a button carries a position but only moves set it
    PostMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(31, 41));
    EXPECT_EQ(MousePosX(), 31);
    EXPECT_EQ(GetCapture(), window);
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(31, 41));
    EXPECT_EQ(IsMouseDown(1), 0);
    EXPECT_EQ(GetCapture(), nullptr);
    CloseOpenedGraphics();
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WGLDriver, AdoptedWindowKeepsItsOwnerAndReportsItsSize) {
    HWND window = CreateWindowExW(0, L"STATIC", L"theirs", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    Ref<TGraphics> g = AttachGraphics(reinterpret_cast<uintptr_t>(window), 0);
    ASSERT_TRUE(g);
    EXPECT_EQ(Record(g)->kind, KIND_ATTACHED);
    int32_t w, h, d, hz, f;
    g->GetSettings(&w, &h, &d, &hz, &f);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 80);
    SetWindowPos(window, nullptr, 0, 0, 130, 70, SWP_NOMOVE | SWP_NOZORDER);
    g->GetSettings(&w, &h, &d, &hz, &f);
    EXPECT_EQ(w, 130);
    EXPECT_EQ(h, 70);
    CloseGraphics(g);
    EXPECT_TRUE(IsWindow(window));
    DestroyWindow(window);
    EXPECT_FALSE(AttachGraphics(reinterpret_cast<uintptr_t>(window), 0));  // gone
}

// The display's current width, height and bits per pixel.
std::tuple<DWORD, DWORD, DWORD> DesktopSize() {
    DEVMODEW now{};
    now.dmSize = sizeof now;
    EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &now);
    return {now.dmPelsWidth, now.dmPelsHeight, now.dmBitsPerPel};
}

TEST_F(WGLDriver, ModesAreListedAndTheDesktopModeIsHeldFullScreenAndGivenBack) {
    const TGraphicsModes modes = GLGraphicsDriver()->GraphicsModes();
    ASSERT_FALSE(modes.empty());
    EXPECT_LE(modes.size(), 1024u);
    for (const auto& m : modes) EXPECT_GE(m->depth, 16);

    DEVMODEW desktop{};
    desktop.dmSize = sizeof desktop;
    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &desktop));
    const auto desktopSize = DesktopSize();
    // Full screen at the desktop's own size: the window holds the display until it closes.
    Ref<TGraphics> g = CreateGraphics(static_cast<int32_t>(desktop.dmPelsWidth), static_cast<int32_t>(desktop.dmPelsHeight),
                                      static_cast<int32_t>(desktop.dmBitsPerPel), 0, 0);
    ASSERT_TRUE(g) << "the desktop's own mode was refused";
    TGLContextRecord* r = Record(g);
    EXPECT_EQ(r->kind, KIND_FULLSCREEN);
    EXPECT_EQ(WGLModule().fullScreen, r);
    EXPECT_EQ(WGLModule().modeSwitches, 1);
    EXPECT_EQ(WGLModule().lastSwapInterval, 0);  // no rate asked for
    EXPECT_EQ(GetWindowLongW(r->window, GWL_STYLE) & WS_CAPTION, 0);
    CloseGraphics(g);
    EXPECT_EQ(WGLModule().fullScreen, nullptr);
    EXPECT_EQ(WGLModule().modeRestores, 1);
    EXPECT_EQ(DesktopSize(), desktopSize);
}

TEST_F(WGLDriver, AnotherModeIsSetAndGivenBackOrRefusedCleanly) {
    const TGraphicsModes modes = GLGraphicsDriver()->GraphicsModes();
    const auto desktopSize = DesktopSize();
    auto other = std::find_if(modes.begin(), modes.end(), [&](const auto& m) {
        return std::make_tuple(static_cast<DWORD>(m->width), static_cast<DWORD>(m->height),
                               static_cast<DWORD>(m->depth)) != desktopSize;
    });
    if (other == modes.end()) GTEST_SKIP() << "the display lists no second mode";
    const size_t listed = WGLModule().list.size();
    Ref<TGraphics> switched = CreateGraphics((*other)->width, (*other)->height, (*other)->depth, 0, 0);
    if (!switched) {
        EXPECT_EQ(WGLModule().list.size(), listed);  // no window left behind
        EXPECT_EQ(WGLModule().fullScreen, nullptr);
        EXPECT_EQ(DesktopSize(), desktopSize);
        GTEST_SKIP() << "the display refused " << ToUtf8((*other)->ToString()) << "; the refusal was reported and nothing was left changed";
    }
    EXPECT_EQ(DesktopSize(), std::make_tuple(static_cast<DWORD>((*other)->width), static_cast<DWORD>((*other)->height),
                                             static_cast<DWORD>((*other)->depth)));
    EXPECT_NE(WGLModule().fullScreen, nullptr);
    CloseGraphics(switched);
    EXPECT_EQ(DesktopSize(), desktopSize);
}

TEST_F(WGLDriver, RectangleDrawnIntoTheBackBufferReadsBack) {
    Ref<TGraphics> g = CreateGraphics(64, 64, 0, 0, GFX_DOUBLE_BUFFER);
    ASSERT_TRUE(g);
    SetGraphics(g);
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 64, 64, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3ub(255, 128, 0);
    glRectf(10, 20, 30, 40);  // x 10..30, y 20..40 from the top
    glFinish();
    glReadBuffer(GL_BACK);
    std::vector<unsigned char> pixels(64 * 64 * 4);
    glReadPixels(0, 0, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    auto at = [&](int x, int y) {  // y from the top
        const unsigned char* p = &pixels[static_cast<size_t>(((63 - y) * 64 + x) * 4)];
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(at(10, 20), 0xFF8000);
    EXPECT_EQ(at(29, 39), 0xFF8000);
    EXPECT_EQ(at(9, 20), 0x0000FF);
    EXPECT_EQ(at(30, 39), 0x0000FF);
    EXPECT_EQ(at(10, 40), 0x0000FF);
    GLGraphicsDriver()->Flip(0);
    CloseGraphics(g);
}


std::vector<int32_t> sizeEvents;  // x, y of every EVENT_WINDOWSIZE
Ref<TObject> RecordSize(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    auto* e = dynamic_cast<TEvent*>(data.get());
    if (e && e->id == EVENT_WINDOWSIZE) sizeEvents.insert(sizeEvents.end(), {e->x, e->y});
    return data;
}

// Only GFX_RESIZABLE gives a sizing frame; the user's new size (SetWindowPos here) is taken at
// the next Flip, once, with its event, and the process then counts in real pixels.
TEST_F(WGLDriver, AResizableWindowTakesItsNewSizeAtFlipAndSaysSo) {
    Ref<TGraphics> fixed = CreateGraphics(200, 100, 0, 0, 0);
    ASSERT_TRUE(fixed);
    EXPECT_EQ(GetWindowLongW(Record(fixed)->window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    CloseGraphics(fixed);

    Ref<TGraphics> g = CreateGraphics(200, 100, 0, 0, GFX_RESIZABLE);
    ASSERT_TRUE(g);
    TGLContextRecord* record = Record(g);
    const LONG style = GetWindowLongW(record->window, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), WS_THICKFRAME | WS_MAXIMIZEBOX);
    EXPECT_TRUE(IsProcessDPIAware());
    SetGraphics(g);
    sizeEvents.clear();
    InstallHook(EventEmitHookId(), RecordSize, nullptr, 0);
    RECT frame{0, 0, 320, 150};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(style), FALSE, 0);
    SetWindowPos(record->window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PollSystemEvents();
    RECT client{};
    GetClientRect(record->window, &client);
    ASSERT_NE(client.right, 200) << "the window did not change size";
    EXPECT_EQ(CurrentGraphicsWidth(), 200) << "not before the frame boundary";
    EXPECT_TRUE(sizeEvents.empty());
    Flip(0);
    Flip(0);
    UninstallHook(EventEmitHookId(), RecordSize, nullptr);
    EXPECT_EQ(sizeEvents, (std::vector<int32_t>{client.right, client.bottom}));
    EXPECT_EQ(CurrentGraphicsWidth(), client.right);
    EXPECT_EQ(CurrentGraphicsHeight(), client.bottom);
    int32_t w = 0, h = 0, d = 0, hz = 0, f = 0;
    g->GetSettings(&w, &h, &d, &hz, &f);
    EXPECT_EQ(w * 10000 + h, client.right * 10000 + client.bottom);
    CloseGraphics(g);
}

}  // namespace

// Real input injected with XTEST into one of our windows, arriving as TEvents; focus, close
// requests, the pointer and the cursor. Runs under a private Xvfb.
#include <gtest/gtest.h>
// gtest before the X headers: their macros (None, Bool) break it otherwise.
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>
#include <poll.h>

#include <string>
#include <thread>
#include <vector>

#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>
#include "system/x11/display.h"
#include "system/x11/input.h"
#include "system/x11/x11_driver.h"
#include "system/x11/x11_input_module.h"

using namespace corvex;
using namespace corvex::x11;

namespace {

struct TSeen {
    int32_t id, data, mods, x, y;
    bool operator==(const TSeen& o) const {
        return id == o.id && data == o.data && mods == o.mods && x == o.x && y == o.y;
    }
};
std::ostream& operator<<(std::ostream& out, const TSeen& e) {
    return out << ToUtf8(EventName(e.id)) << "(" << e.data << ", mods " << e.mods << ", " << e.x << ", " << e.y << ")";
}

std::vector<TSeen> seen;

Ref<TObject> Record(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    if (auto* e = dynamic_cast<TEvent*>(data.get())) seen.push_back({e->id, e->data, e->mods, e->x, e->y});
    return data;
}

constexpr int WX = 32, WY = 32, WW = 200, WH = 150;  // our window on the screen

class X11Input : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StartX11SystemModule();
        ASSERT_TRUE(X11DisplayAvailable());
        display = X11Display();
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor));
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), WX, WY, WW, WH, 0, 0, 0);
        RegisterX11Window(window, nullptr);
        XMapWindow(display, window);
        WaitFor(MapNotify);
        InstallHook(EventEmitHookId(), Record, nullptr, 100);
    }
    static void TearDownTestSuite() {
        UninstallHook(EventEmitHookId(), Record, nullptr);
        UnregisterX11Window(window);
        XDestroyWindow(display, window);
        XSync(display, False);
    }
    void SetUp() override {
        // Pointer outside, our window focused, nothing held.
        XTestFakeMotionEvent(display, 0, 600, 600, CurrentTime);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        Pump();
        X11InputModule().mouseVisible = 1;
        SetMouseVisible(1);
        Pump();
        seen.clear();
    }
    static void WaitFor(int type) {
        XEvent e;
        for (int i = 0; i < 200 && !XCheckTypedWindowEvent(display, window, type, &e); ++i) {
            pollfd fd = {ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, 10);
        }
    }
    // Lets the server process what was sent, then drains it as a polled query would.
    static void Pump() {
        XSync(display, False);
        PollSystemEvents();
    }
    static void Key(KeySym keysym, bool press) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press, CurrentTime);
    }
    static void Tap(KeySym keysym) {
        Key(keysym, true);
        Key(keysym, false);
    }
    static void MoveTo(int x, int y) { XTestFakeMotionEvent(display, 0, x, y, CurrentTime); }
    static void Button(unsigned button, bool press) { XTestFakeButtonEvent(display, button, press, CurrentTime); }
    static std::vector<TSeen> Only(std::initializer_list<int32_t> ids) {
        std::vector<TSeen> out;
        for (const TSeen& e : seen) {
            for (int32_t id : ids) {
                if (e.id == id) out.push_back(e);
            }
        }
        return out;
    }
    static inline Display* display = nullptr;
    static inline Window window = 0;
};

}  // namespace

TEST_F(X11Input, ModifierKeysAreToldApartAndSetTheirBits) {
    Key(XK_Shift_R, true);
    Pump();
    Key(XK_Shift_R, false);
    Key(XK_Control_L, true);
    Tap(XK_a);
    Key(XK_Control_L, false);
    Key(XK_Alt_L, true);
    Key(XK_Alt_L, false);
    Pump();
    const std::vector<TSeen> expected = {
        {EVENT_KEYDOWN, 161, 1, 0, 0}, {EVENT_KEYUP, 161, 0, 0, 0},  {EVENT_KEYDOWN, 162, 2, 0, 0},
        {EVENT_KEYDOWN, 65, 2, 0, 0},  {EVENT_KEYCHAR, 1, 2, 0, 0},  {EVENT_KEYUP, 65, 2, 0, 0},
        {EVENT_KEYUP, 162, 0, 0, 0},   {EVENT_KEYDOWN, 164, 4, 0, 0}, {EVENT_KEYUP, 164, 0, 0, 0},
    };
    EXPECT_EQ(seen, expected);
}

TEST_F(X11Input, TypedTextBecomesCharactersAndAHeldKeyRepeats) {
    Tap(XK_a);
    Key(XK_Shift_L, true);
    Tap(XK_b);
    Key(XK_Shift_L, false);
    Tap(XK_Return);
    Tap(XK_Delete);
    Pump();
    std::vector<int32_t> chars;
    for (const TSeen& e : Only({EVENT_KEYCHAR})) chars.push_back(e.data);
    EXPECT_EQ(chars, (std::vector<int32_t>{'a', 'B', 13}));  // Delete types nothing
    EXPECT_EQ(Only({EVENT_KEYDOWN}).size(), 5u);

    // The server's auto-repeat (made quick here) gives repeats, each with its character, and
    // one release at the end.
    seen.clear();
    XkbSetAutoRepeatRate(display, XkbUseCoreKbd, 100, 20);
    Key(XK_space, true);
    XSync(display, False);
    poll(nullptr, 0, 250);
    Key(XK_space, false);
    Pump();
    XkbSetAutoRepeatRate(display, XkbUseCoreKbd, 660, 40);
    ASSERT_GE(seen.size(), 6u) << ::testing::PrintToString(seen);
    EXPECT_EQ(seen[0], (TSeen{EVENT_KEYDOWN, 32, 0, 0, 0}));
    EXPECT_EQ(seen[1], (TSeen{EVENT_KEYCHAR, 32, 0, 0, 0}));
    for (size_t i = 2; i + 1 < seen.size(); i += 2) {
        EXPECT_EQ(seen[i], (TSeen{EVENT_KEYREPEAT, 32, 0, 0, 0}));
        EXPECT_EQ(seen[i + 1], (TSeen{EVENT_KEYCHAR, 32, 0, 0, 0}));
    }
    EXPECT_EQ(seen.back(), (TSeen{EVENT_KEYUP, 32, 0, 0, 0}));
    EXPECT_EQ(seen.size() % 2, 1u);
}

TEST_F(X11Input, TextBeyondSixteenBitsComesAsTwoCodeUnits) {
    // Give a spare key the keysym of U+1F600 for the length of the test.
    int minCode = 0, maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    KeyCode spare = 0;
    for (int code = maxCode; code >= minCode && !spare; --code) {
        int perCode = 0;
        KeySym* syms = XGetKeyboardMapping(display, static_cast<KeyCode>(code), 1, &perCode);
        bool empty = true;
        for (int i = 0; i < perCode; ++i) empty = empty && syms[i] == NoSymbol;
        XFree(syms);
        if (empty) spare = static_cast<KeyCode>(code);
    }
    if (!spare) GTEST_SKIP() << "no spare key code";
    KeySym emoji[2] = {0x0101F600, 0x0101F600};
    XChangeKeyboardMapping(display, spare, 2, emoji, 1);
    Pump();
    seen.clear();
    XTestFakeKeyEvent(display, spare, True, CurrentTime);
    XTestFakeKeyEvent(display, spare, False, CurrentTime);
    Pump();
    KeySym none[2] = {NoSymbol, NoSymbol};
    XChangeKeyboardMapping(display, spare, 2, none, 1);
    Pump();
    std::vector<int32_t> chars;
    for (const TSeen& e : Only({EVENT_KEYCHAR})) chars.push_back(e.data);
    EXPECT_EQ(chars, (std::vector<int32_t>{0xD83D, 0xDE00}));
}

TEST_F(X11Input, AHookMayGiveUpTheWindowOnAKey) {
    // Closing graphics from a key hook must not leave the translation holding a freed window.
    auto closer = [](int32_t, const Ref<TObject>& data, const Ref<TObject>&) -> Ref<TObject> {
        auto* e = dynamic_cast<TEvent*>(data.get());
        if (e && e->id == EVENT_KEYDOWN && e->data == 81) UnregisterX11Window(window);
        return data;
    };
    InstallHook(EventEmitHookId(), closer, nullptr, 200);
    Tap(XK_q);
    Pump();
    UninstallHook(EventEmitHookId(), closer, nullptr);
    RegisterX11Window(window, nullptr);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    Pump();
    EXPECT_EQ(Only({EVENT_KEYDOWN}), (std::vector<TSeen>{{EVENT_KEYDOWN, 81, 0, 0, 0}}));
    EXPECT_TRUE(Only({EVENT_KEYCHAR, EVENT_KEYUP}).empty());  // the window is no longer ours
}

TEST_F(X11Input, PointerEntersBeforeItMovesAndLeavesOnExit) {
    MoveTo(WX + 10, WY + 20);
    Pump();
    MoveTo(WX + 11, WY + 22);
    Pump();
    MoveTo(500, 500);
    Pump();
    const std::vector<TSeen> moves = Only({EVENT_MOUSEENTER, EVENT_MOUSEMOVE, EVENT_MOUSELEAVE});
    ASSERT_EQ(moves.size(), 4u) << ::testing::PrintToString(seen);
    EXPECT_EQ(moves[0], (TSeen{EVENT_MOUSEENTER, 0, 0, 10, 20}));
    EXPECT_EQ(moves[1], (TSeen{EVENT_MOUSEMOVE, 0, 0, 10, 20}));
    EXPECT_EQ(moves[2], (TSeen{EVENT_MOUSEMOVE, 0, 0, 11, 22}));
    EXPECT_EQ(moves[3].id, EVENT_MOUSELEAVE);
}

TEST_F(X11Input, ButtonsDragsAndWheel) {
    MoveTo(WX + 50, WY + 50);
    Button(2, true);  // middle
    MoveTo(WX + 60, WY + 55);
    Button(2, false);
    Button(3, true);  // right
    MoveTo(WX + 61, WY + 55);
    Button(3, false);
    Button(1, true);  // left
    MoveTo(WX + 62, WY + 55);
    Button(1, false);
    Button(4, true);  // wheel away from the user, twice, then once back
    Button(4, false);
    Button(4, true);
    Button(4, false);
    Button(5, true);
    Button(5, false);
    Pump();
    const std::vector<TSeen> expected = {
        {EVENT_MOUSEDOWN, 3, 0, 50, 50},  {EVENT_MOUSEMOVE, 4, 0, 60, 55}, {EVENT_MOUSEUP, 3, 0, 60, 55},
        {EVENT_MOUSEDOWN, 2, 0, 60, 55},  {EVENT_MOUSEMOVE, 2, 0, 61, 55}, {EVENT_MOUSEUP, 2, 0, 61, 55},
        {EVENT_MOUSEDOWN, 1, 0, 61, 55},  {EVENT_MOUSEMOVE, 1, 0, 62, 55}, {EVENT_MOUSEUP, 1, 0, 62, 55},
        {EVENT_MOUSEWHEEL, 1, 0, 62, 55}, {EVENT_MOUSEWHEEL, 1, 0, 62, 55}, {EVENT_MOUSEWHEEL, -1, 0, 62, 55},
    };
    ASSERT_GE(seen.size(), expected.size());
    EXPECT_EQ(std::vector<TSeen>(seen.end() - static_cast<long>(expected.size()), seen.end()), expected);
}

TEST_F(X11Input, DraggingOutKeepsReportingAndLeavesOnce) {
    MoveTo(WX + 5, WY + 5);
    Button(1, true);
    MoveTo(WX - 10, WY + 5);  // outside, the button still held: the window keeps the pointer
    MoveTo(WX - 12, WY + 5);
    Button(1, false);
    Pump();
    const std::vector<TSeen> tail = Only({EVENT_MOUSELEAVE, EVENT_MOUSEMOVE, EVENT_MOUSEUP});
    ASSERT_GE(tail.size(), 4u);
    const size_t n = tail.size();
    EXPECT_EQ(tail[n - 4].id, EVENT_MOUSELEAVE);
    EXPECT_EQ(tail[n - 3], (TSeen{EVENT_MOUSEMOVE, 1, 0, -10, 5}));
    EXPECT_EQ(tail[n - 2], (TSeen{EVENT_MOUSEMOVE, 1, 0, -12, 5}));
    EXPECT_EQ(tail[n - 1], (TSeen{EVENT_MOUSEUP, 1, 0, -12, 5}));
    EXPECT_EQ(Only({EVENT_MOUSELEAVE}).size(), 1u);
}

TEST_F(X11Input, CloseRequestRaisesTerminateOnceAndTheWindowStays) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = X11Atoms().wmProtocols;
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(X11Atoms().wmDeleteWindow);
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    Pump();
    EXPECT_EQ(Only({EVENT_APPTERMINATE}).size(), 1u);
    XWindowAttributes attributes{};
    EXPECT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
}

TEST_F(X11Input, FocusElsewhereSuspendsAndBackResumes) {
    const Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 400, 400, 50, 50, 0, 0, 0);
    XMapWindow(display, other);
    XSync(display, False);
    for (int i = 0; i < 50; ++i) {
        XWindowAttributes a{};
        XGetWindowAttributes(display, other, &a);
        if (a.map_state == IsViewable) break;
        poll(nullptr, 0, 10);
    }
    XSetInputFocus(display, other, RevertToParent, CurrentTime);
    Pump();
    Tap(XK_a);  // typed into the other window: not ours
    Pump();
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    Pump();
    XDestroyWindow(display, other);
    const std::vector<TSeen> expected = {{EVENT_APPSUSPEND, 0, 0, 0, 0}, {EVENT_APPRESUME, 0, 0, 0, 0}};
    EXPECT_EQ(seen, expected);
}

TEST_F(X11Input, FocusEventsCarryTheModifiersHeldAtTheTime) {
    const Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 400, 400, 50, 50, 0, 0, 0);
    XMapWindow(display, other);
    XSync(display, False);
    for (int i = 0; i < 50; ++i) {
        XWindowAttributes a{};
        XGetWindowAttributes(display, other, &a);
        if (a.map_state == IsViewable) break;
        poll(nullptr, 0, 10);
    }
    Key(XK_Shift_L, true);
    Pump();
    XSetInputFocus(display, other, RevertToParent, CurrentTime);  // leaves with Shift held
    Pump();
    Key(XK_Control_L, true);  // pressed while elsewhere, still held on the way back
    Pump();
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    Pump();
    Key(XK_Control_L, false);
    Key(XK_Shift_L, false);
    Pump();
    XDestroyWindow(display, other);
    const std::vector<TSeen> focus = Only({EVENT_APPSUSPEND, EVENT_APPRESUME});
    const std::vector<TSeen> expected = {{EVENT_APPSUSPEND, 0, MODIFIER_SHIFT, 0, 0},
                                         {EVENT_APPRESUME, 0, MODIFIER_SHIFT | MODIFIER_CONTROL, 0, 0}};
    EXPECT_EQ(focus, expected);
    // Back to nothing held once both keys are up.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().id, EVENT_KEYUP);
    EXPECT_EQ(seen.back().mods, 0);
}

TEST_F(X11Input, PolledQueriesSeeTheInjectedInput) {
    StartPolledInput(nullptr);
    Key(XK_Shift_R, true);
    Tap(XK_space);
    Tap(XK_space);
    XSync(display, False);
    EXPECT_EQ(IsKeyDown(161), 1);  // the query itself drains the connection
    EXPECT_EQ(KeyHits(32), 2);
    EXPECT_EQ(KeyHits(32), 0);
    Key(XK_Shift_R, false);
    XSync(display, False);
    EXPECT_EQ(IsKeyDown(161), 0);
    MoveTo(WX + 70, WY + 80);
    XSync(display, False);
    EXPECT_EQ(MousePosX(), 70);
    EXPECT_EQ(MousePosY(), 80);
    StopPolledInput();
}

TEST_F(X11Input, MoveMouseWarpsInClientCoordinates) {
    MoveMouse(25, 40);
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(display, window, &root, &child, &rx, &ry, &wx, &wy, &mask);
    EXPECT_EQ(wx, 25);
    EXPECT_EQ(wy, 40);
    EXPECT_EQ(rx, WX + 25);
}

TEST_F(X11Input, CursorIsHiddenOnlyOverOurWindow) {
    int event = 0, error = 0;
    if (!XFixesQueryExtension(display, &event, &error)) GTEST_SKIP() << "no XFIXES";
    const auto cursorIsBlank = [] {
        XFixesCursorImage* image = XFixesGetCursorImage(display);
        if (!image) return false;
        bool blank = true;
        for (int i = 0; i < image->width * image->height; ++i) blank = blank && (image->pixels[i] & 0xFF000000u) == 0;
        XFree(image);
        return blank;
    };
    MoveTo(WX + 20, WY + 20);
    Pump();
    EXPECT_FALSE(cursorIsBlank());
    SetMouseVisible(0);
    SetMouseVisible(0);
    Pump();
    EXPECT_TRUE(cursorIsBlank());
    MoveTo(500, 500);  // outside our windows the cursor shows
    Pump();
    EXPECT_FALSE(cursorIsBlank());
    MoveTo(WX + 30, WY + 30);
    Pump();
    EXPECT_TRUE(cursorIsBlank());
    SetMouseVisible(1);  // one call shows it again, however often it was hidden
    Pump();
    EXPECT_FALSE(cursorIsBlank());
}

TEST_F(X11Input, WaitBlocksUntilAnEventOrAPostedCallArrives) {
    // An event already sent but not yet read.
    Tap(XK_a);
    XFlush(display);
    WaitSystemEvents();
    for (int i = 0; i < 100 && Only({EVENT_KEYUP}).empty(); ++i) WaitSystemEvents();
    EXPECT_EQ(Only({EVENT_KEYDOWN}).size(), 1u);

    // A call posted from another thread wakes the wait and runs on this thread.
    static std::thread::id ranOn;
    std::thread poster([] {
        poll(nullptr, 0, 50);
        PostToMainThread([](const Ref<TObject>&, int64_t) { ranOn = std::this_thread::get_id(); }, nullptr, 0);
    });
    WaitSystemEvents();
    for (int i = 0; i < 100 && ranOn == std::thread::id(); ++i) WaitSystemEvents();
    poster.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

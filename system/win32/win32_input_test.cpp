// The Win32 driver against messages sent and posted to a window of ours: key codes with left and
// right modifiers, repeats, characters beyond 16 bits, buttons with capture, the wheel, the
// pointer entering and leaving, activation, close requests, the cursor, and posted calls run by
// the pump and by a modal loop. Runs under Wine or Windows with a desktop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <thread>
#include <vector>

#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>
#include "system/win32/messages.h"
#include "system/win32/win32_driver.h"
#include "system/win32/win32_input_module.h"
#include "system/win32/requesters.h"

using namespace corvex;
using namespace corvex::win32;

namespace {

struct TSeen {
    int32_t id, data, mods, x, y;
    bool operator==(const TSeen& o) const {
        return id == o.id && data == o.data && mods == o.mods && x == o.x && y == o.y;
    }
};
std::ostream& operator<<(std::ostream& out, const TSeen& e) {
    return out << "event 0x" << std::hex << e.id << std::dec << "(" << e.data << ", mods " << e.mods << ", " << e.x
               << ", " << e.y << ")";
}

std::vector<TSeen> seen;

Ref<TObject> Record(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    if (auto* e = dynamic_cast<TEvent*>(data.get())) seen.push_back({e->id, e->data, e->mods, e->x, e->y});
    return data;
}

// A plain window whose procedure translates its messages, as the GL window's does.
LRESULT CALLBACK TestProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    EmitSystemEvent(window, message, wParam, lParam, nullptr);
    if (message == WM_CLOSE) return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

constexpr int WX = 40, WY = 40, WW = 200, WH = 150;

// lParam of a key message: repeat count 1, the scan code, the extended flag, the previous state.
LPARAM KeyParam(unsigned scan, bool extended, bool wasDown, bool up = false) {
    uint32_t bits = 1u | (scan << 16);
    if (extended) bits |= 1u << 24;
    if (wasDown || up) bits |= 1u << 30;
    if (up) bits |= 1u << 31;
    return static_cast<LPARAM>(bits);
}

int CursorCounter() {
    // ShowCursor answers the new counter; one step up and back reads it without changing it.
    const int above = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return above - 1;
}

class Win32Input : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StartSystemModule();
        IsMainThread();  // this thread is the main one
        InstallWin32SystemDriver();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = TestProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"Corvex input test";
        RegisterClassW(&windowClass);
        RECT frame{WX, WY, WX + WW, WY + WH};
        AdjustWindowRectEx(&frame, WS_POPUP, FALSE, 0);
        window = CreateWindowExW(0, L"Corvex input test", L"input", WS_POPUP, frame.left, frame.top,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        InstallHook(EventEmitHookId(), Record, nullptr, 100);
    }
    static void TearDownTestSuite() {
        UninstallHook(EventEmitHookId(), Record, nullptr);
        DestroyWindow(window);
        PollSystemEvents();
    }
    void SetUp() override {
        // The pointer parked far from our windows: only the messages a test sends reach them.
        SetCursorPos(1270, 1014);
        PollSystemEvents();
        Win32InputModule().Reset();
        StartPolledInput(nullptr);
        ClearKeys();
        ClearMouse();
        seen.clear();
    }
    void TearDown() override { StopPolledInput(); }
    // Posted messages go through the pump, as real input does.
    static void Post(UINT message, WPARAM wParam, LPARAM lParam) {
        PostMessageW(window, message, wParam, lParam);
        PollSystemEvents();
    }
    static std::vector<TSeen> Only(std::initializer_list<int32_t> ids) {
        std::vector<TSeen> out;
        for (const TSeen& e : seen) {
            for (int32_t id : ids) {
                if (e.id == id) out.push_back(e);
            }
        }
        return out;
    }
    static inline HWND window = nullptr;
};

TEST(Win32KeyCode, ScanCodeAndExtendedBitTellLeftFromRight) {
    EXPECT_EQ(KeyCodeOf(VK_SHIFT, KeyParam(0x2A, false, false)), 160);
    EXPECT_EQ(KeyCodeOf(VK_SHIFT, KeyParam(0x36, false, false)), 161);
    EXPECT_EQ(KeyCodeOf(VK_CONTROL, KeyParam(0x1D, false, false)), 162);
    EXPECT_EQ(KeyCodeOf(VK_CONTROL, KeyParam(0x1D, true, false)), 163);
    EXPECT_EQ(KeyCodeOf(VK_MENU, KeyParam(0x38, false, false)), 164);
    EXPECT_EQ(KeyCodeOf(VK_MENU, KeyParam(0x38, true, false)), 165);
    // Other keys keep their virtual key, whatever the scan code and flags.
    EXPECT_EQ(KeyCodeOf('A', KeyParam(0x1E, false, true)), 65);
    EXPECT_EQ(KeyCodeOf(VK_RETURN, KeyParam(0x1C, true, false)), VK_RETURN);
    EXPECT_EQ(KeyCodeOf(VK_ESCAPE, 0), 27);
}

TEST_F(Win32Input, ModifierKeysAreToldApartAndSetTheirBits) {
    Post(WM_KEYDOWN, VK_SHIFT, KeyParam(0x36, false, false));
    Post(WM_KEYUP, VK_SHIFT, KeyParam(0x36, false, true, true));
    Post(WM_KEYDOWN, VK_CONTROL, KeyParam(0x1D, false, false));
    Post(WM_KEYDOWN, 'A', KeyParam(0x1E, false, false));
    Post(WM_KEYUP, 'A', KeyParam(0x1E, false, true, true));
    Post(WM_KEYUP, VK_CONTROL, KeyParam(0x1D, false, true, true));
    Post(WM_SYSKEYDOWN, VK_MENU, KeyParam(0x38, true, false));
    Post(WM_SYSKEYUP, VK_MENU, KeyParam(0x38, true, true, true));
    const std::vector<TSeen> expected = {
        {EVENT_KEYDOWN, 161, MODIFIER_SHIFT, 0, 0},   {EVENT_KEYUP, 161, 0, 0, 0},
        {EVENT_KEYDOWN, 162, MODIFIER_CONTROL, 0, 0}, {EVENT_KEYDOWN, 65, MODIFIER_CONTROL, 0, 0},
        {EVENT_KEYUP, 65, MODIFIER_CONTROL, 0, 0},    {EVENT_KEYUP, 162, 0, 0, 0},
        {EVENT_KEYDOWN, 165, MODIFIER_OPTION, 0, 0},  {EVENT_KEYUP, 165, 0, 0, 0},
    };
    EXPECT_EQ(Only({EVENT_KEYDOWN, EVENT_KEYUP}), expected);
    // Keys outside 1..255 make no event.
    seen.clear();
    Post(WM_KEYDOWN, 0, KeyParam(0, false, false));
    Post(WM_KEYDOWN, 300, KeyParam(0, false, false));
    EXPECT_TRUE(Only({EVENT_KEYDOWN}).empty());
}

TEST_F(Win32Input, HeldKeyRepeatsAndCountsOnce) {
    Post(WM_KEYDOWN, 'A', KeyParam(0x1E, false, false));
    Post(WM_KEYDOWN, 'A', KeyParam(0x1E, false, true));
    Post(WM_KEYDOWN, 'A', KeyParam(0x1E, false, true));
    EXPECT_EQ(IsKeyDown(65), 1);
    EXPECT_EQ(KeyHits(65), 1);
    const std::vector<TSeen> expected = {{EVENT_KEYDOWN, 65, 0, 0, 0},
                                         {EVENT_KEYREPEAT, 65, 0, 0, 0},
                                         {EVENT_KEYREPEAT, 65, 0, 0, 0}};
    EXPECT_EQ(Only({EVENT_KEYDOWN, EVENT_KEYREPEAT}), expected);
    Post(WM_KEYUP, 'A', KeyParam(0x1E, false, true, true));
    EXPECT_EQ(IsKeyDown(65), 0);
}

TEST_F(Win32Input, CharacterBeyondSixteenBitsComesAsTwoUnits) {
    // U+1F600 arrives as its surrogate pair; a BMP character as itself.
    Post(WM_CHAR, 0xD83D, 1);
    Post(WM_CHAR, 0xDE00, 1);
    Post(WM_CHAR, 0xE9, 1);
    const std::vector<TSeen> expected = {
        {EVENT_KEYCHAR, 0xD83D, 0, 0, 0}, {EVENT_KEYCHAR, 0xDE00, 0, 0, 0}, {EVENT_KEYCHAR, 0xE9, 0, 0, 0}};
    EXPECT_EQ(Only({EVENT_KEYCHAR}), expected);
    EXPECT_EQ(NextChar(), 0xD83D);
    EXPECT_EQ(NextChar(), 0xDE00);
    EXPECT_EQ(NextChar(), 0xE9);
    EXPECT_EQ(NextChar(), 0);
    // Dead keys type nothing yet.
    seen.clear();
    Post(WM_DEADCHAR, '^', 1);
    EXPECT_TRUE(Only({EVENT_KEYCHAR}).empty());
}

TEST_F(Win32Input, ButtonsTakeTheCaptureAndTheWheelCountsNotches) {
    Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20));
    EXPECT_EQ(GetCapture(), window);
    EXPECT_EQ(IsMouseDown(1), 1);
    Post(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(12, 22));
    Post(WM_LBUTTONUP, 0, MAKELPARAM(12, 22));
    EXPECT_EQ(GetCapture(), nullptr);
    Post(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(1, 2));
    Post(WM_RBUTTONUP, 0, MAKELPARAM(1, 2));
    Post(WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(3, 4));
    Post(WM_MOUSEMOVE, MK_MBUTTON, MAKELPARAM(5, 6));
    Post(WM_MBUTTONUP, 0, MAKELPARAM(5, 6));
    const std::vector<TSeen> expected = {
        {EVENT_MOUSEDOWN, 1, 0, 10, 20}, {EVENT_MOUSEMOVE, 1, 0, 12, 22}, {EVENT_MOUSEUP, 1, 0, 12, 22},
        {EVENT_MOUSEDOWN, 2, 0, 1, 2},   {EVENT_MOUSEUP, 2, 0, 1, 2},     {EVENT_MOUSEDOWN, 3, 0, 3, 4},
        {EVENT_MOUSEMOVE, 4, 0, 5, 6},   {EVENT_MOUSEUP, 3, 0, 5, 6},
    };
    EXPECT_EQ(Only({EVENT_MOUSEDOWN, EVENT_MOUSEUP, EVENT_MOUSEMOVE}), expected);

    // The wheel's position is on the screen: it arrives in client coordinates.
    seen.clear();
    POINT at{7, 9};
    ClientToScreen(window, &at);
    Post(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(at.x, at.y));
    Post(WM_MOUSEWHEEL, MAKEWPARAM(0, 60), MAKELPARAM(at.x, at.y));
    Post(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), MAKELPARAM(at.x, at.y));
    const std::vector<TSeen> wheel = {
        {EVENT_MOUSEWHEEL, 1, 0, 7, 9}, {EVENT_MOUSEWHEEL, 0, 0, 7, 9}, {EVENT_MOUSEWHEEL, -2, 0, 7, 9}};
    EXPECT_EQ(Only({EVENT_MOUSEWHEEL}), wheel);
    EXPECT_EQ(MouseWheelPos(), -1);
}

TEST_F(Win32Input, PointerEntersBeforeItMovesAndLeavesOutsideOrOnLeaveMessage) {
    Post(WM_MOUSEMOVE, 0, MAKELPARAM(50, 60));
    Post(WM_MOUSEMOVE, 0, MAKELPARAM(51, 60));
    Post(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(-5), 60));  // dragged out while captured
    Post(WM_MOUSEMOVE, 0, MAKELPARAM(WW - 1, WH - 1));
    Post(WM_MOUSEMOVE, 0, MAKELPARAM(WW, 10));  // the right edge is outside
    std::vector<TSeen> events = Only({EVENT_MOUSEENTER, EVENT_MOUSELEAVE, EVENT_MOUSEMOVE});
    ASSERT_EQ(events.size(), 9u) << ::testing::PrintToString(events);
    EXPECT_EQ(events[0], (TSeen{EVENT_MOUSEENTER, 0, 0, 50, 60}));
    EXPECT_EQ(events[1], (TSeen{EVENT_MOUSEMOVE, 0, 0, 50, 60}));
    EXPECT_EQ(events[2], (TSeen{EVENT_MOUSEMOVE, 0, 0, 51, 60}));
    EXPECT_EQ(events[3].id, EVENT_MOUSELEAVE);
    EXPECT_EQ(events[4], (TSeen{EVENT_MOUSEMOVE, 1, 0, -5, 60}));
    EXPECT_EQ(events[5], (TSeen{EVENT_MOUSEENTER, 0, 0, WW - 1, WH - 1}));
    EXPECT_EQ(events[6], (TSeen{EVENT_MOUSEMOVE, 0, 0, WW - 1, WH - 1}));
    EXPECT_EQ(events[7].id, EVENT_MOUSELEAVE);
    EXPECT_EQ(events[8], (TSeen{EVENT_MOUSEMOVE, 0, 0, WW, 10}));

    // WM_MOUSELEAVE ends the tracking once; a second one finds nothing tracked.
    seen.clear();
    Post(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    Post(WM_MOUSELEAVE, 0, 0);
    Post(WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Only({EVENT_MOUSEENTER}).size(), 1u);
    EXPECT_EQ(Only({EVENT_MOUSELEAVE}).size(), 1u);
    EXPECT_EQ(Win32InputModule().tracked, nullptr);
}

TEST_F(Win32Input, ActivationSuspendsAndResumesAndCloseOnlyAsks) {
    Post(WM_KEYDOWN, 'A', KeyParam(0x1E, false, false));
    ASSERT_EQ(IsKeyDown(65), 1);
    Post(WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(IsAppSuspended(), 1);
    EXPECT_EQ(IsKeyDown(65), 0);  // suspension clears the keys
    Post(WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(IsAppSuspended(), 0);
    Post(WM_CLOSE, 0, 0);
    EXPECT_EQ(TerminateRequested(), 1);
    EXPECT_EQ(TerminateRequested(), 0);
    EXPECT_TRUE(IsWindow(window));
    const std::vector<TSeen> expected = {
        {EVENT_APPSUSPEND, 0, 0, 0, 0}, {EVENT_APPRESUME, 0, 0, 0, 0}, {EVENT_APPTERMINATE, 0, 0, 0, 0}};
    EXPECT_EQ(Only({EVENT_APPSUSPEND, EVENT_APPRESUME, EVENT_APPTERMINATE}), expected);
}

TEST_F(Win32Input, CursorHidesOnlyOverOurWindow) {
    ASSERT_EQ(CursorCounter(), 0);
    SetMouseVisible(0);
    EXPECT_EQ(CursorCounter(), 0);  // the pointer is not over our window yet
    Post(WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(CursorCounter(), -1);
    SetMouseVisible(0);
    EXPECT_EQ(CursorCounter(), -1);
    Post(WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(CursorCounter(), 0);
    Post(WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(CursorCounter(), -1);
    SetMouseVisible(1);  // one call shows it again, however often it was hidden
    EXPECT_EQ(CursorCounter(), 0);
}

TEST_F(Win32Input, MoveMouseTakesClientCoordinatesOfTheActiveWindow) {
    SetActiveWindow(window);
    if (GetActiveWindow() != window) GTEST_SKIP() << "the window could not be made active";
    MoveMouse(15, 25);
    POINT at{};
    GetCursorPos(&at);
    POINT expected{15, 25};
    ClientToScreen(window, &expected);
    EXPECT_EQ(at.x, expected.x);
    EXPECT_EQ(at.y, expected.y);
}

std::atomic<int> callsRun{0};
std::atomic<bool> ranOnMain{false};

void CountCall(const Ref<TObject>&, int64_t) {
    ranOnMain = IsMainThread();
    ++callsRun;
}

TEST_F(Win32Input, PostedCallsRunInThePumpAndWaitWakesForThem) {
    callsRun = 0;
    std::thread poster([] { PostToMainThread(CountCall, nullptr, 1); });
    poster.join();
    EXPECT_EQ(callsRun, 0);  // not on the posting thread
    PollSystemEvents();
    EXPECT_EQ(callsRun, 1);
    EXPECT_TRUE(ranOnMain);

    std::thread later([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PostToMainThread(CountCall, nullptr, 2);
    });
    const auto start = std::chrono::steady_clock::now();
    while (callsRun < 2 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) WaitSystemEvents();
    later.join();
    EXPECT_EQ(callsRun, 2);
}

// Closes the message box that the modal loop runs, from inside a posted call.
void CloseBox(const Ref<TObject>&, int64_t) {
    ranOnMain = IsMainThread();
    ++callsRun;
    if (HWND box = FindWindowW(L"#32770", nullptr)) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(Win32Input, PostedCallRunsWhileAModalLoopRuns) {
    callsRun = 0;
    std::atomic<bool> done{false};
    std::thread poster([&] {
        // Once the box is up, post the call that closes it; if it never runs, close the box
        // from here after a while so the test fails instead of hanging.
        for (int i = 0; i < 100 && !FindWindowW(L"#32770", nullptr); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        PostToMainThread(CloseBox, nullptr, 0);
        for (int i = 0; i < 100 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!done) {
            if (HWND box = FindWindowW(L"#32770", nullptr)) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        }
    });
    const int32_t answer = Confirm(u"Posted calls run here", 0);
    done = true;
    poster.join();
    EXPECT_EQ(callsRun, 1);
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(answer, 1);  // closed with OK by the posted call
}

TEST(Win32Requesters, StylesAndFilters) {
    EXPECT_EQ(MessageBoxStyle(MB_OK, 1), 0x40030u);
    EXPECT_EQ(MessageBoxStyle(MB_OK, 0), 0x40040u);
    EXPECT_EQ(MessageBoxStyle(MB_OKCANCEL, 0), 0x40041u);
    EXPECT_EQ(MessageBoxStyle(MB_YESNOCANCEL, 1), 0x40033u);
    EXPECT_EQ(FileDialogFilter(u"Images | *.png  *.jpg"), std::u16string(u"Images\0*.png;*.jpg\0\0", 20));
    EXPECT_EQ(FileDialogFilter(u"*.txt"), std::u16string(u"*.txt\0*.txt\0\0", 13));
    EXPECT_EQ(FileDialogFilter(u""), std::u16string());
    EXPECT_EQ(FileDialogFilter(u"Nothing | "), std::u16string());
}

}  // namespace

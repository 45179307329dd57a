#include "system/win32/messages.h"

#include <commctrl.h>
#include <windowsx.h>

#include <corvex/system/event.h>
#include "system/win32/win32_input_module.h"

namespace corvex::win32 {
namespace {

void Emit(int32_t id, const Ref<TObject>& source, int32_t data, int32_t mods, int32_t x, int32_t y) {
    TEvent::Create(id, source, data, mods, x, y, nullptr)->Emit();
}

// Bit of a modifier key in heldModifiers, -1 for other keys.
int ModifierBit(int32_t key) {
    if (key >= 160 && key <= 165) return key - 160;
    if (key == VK_LWIN) return 6;
    if (key == VK_RWIN) return 7;
    // A bare Shift, Control or Alt whose scan code told no side counts as the left one.
    if (key == VK_SHIFT) return 0;
    if (key == VK_CONTROL) return 2;
    if (key == VK_MENU) return 4;
    return -1;
}

// A key message's own change to the held modifiers: the state is up to date when the message
// is translated, so Shift going down already carries the Shift bit and going up no longer does.
void NoteModifierKey(int32_t key, bool down) {
    const int bit = ModifierBit(key);
    if (bit < 0) return;
    uint32_t& held = Win32InputModule().heldModifiers;
    if (down) {
        held |= 1u << bit;
    } else {
        held &= ~(1u << bit);
    }
}

// The cursor shows when the program wants it or the pointer is outside our windows. ShowCursor
// keeps a counter; it is held at 0 (shown) or -1 (hidden).
void UpdateCursor() {
    const TWin32InputModule& s = Win32InputModule();
    const BOOL show = s.mouseVisible != 0 || s.tracked == nullptr;
    const int counter = ShowCursor(show);
    if (counter != 0 && counter != -1) ShowCursor(!show);
}

POINT CursorInClient(HWND window) {
    POINT at{};
    GetCursorPos(&at);
    ScreenToClient(window, &at);
    return at;
}

// The window the pointer is in (nullptr for none) changes: leave the old one, enter the new one.
// Entering and leaving carry no modifiers, unlike every other event.
void Track(HWND window, int32_t x, int32_t y, const Ref<TObject>& source) {
    TWin32InputModule& s = Win32InputModule();
    if (window == s.tracked) return;
    Ref<TObject> entering = window ? source : nullptr;
    if (s.tracked) {
        const POINT at = CursorInClient(s.tracked);
        Ref<TObject> leaving = std::move(s.trackedSource);
        s.tracked = nullptr;
        Emit(EVENT_MOUSELEAVE, leaving, 0, 0, at.x, at.y);
    }
    s.tracked = window;
    s.trackedSource = entering;
    UpdateCursor();
    if (!window) return;
    Emit(EVENT_MOUSEENTER, entering, 0, 0, x, y);
    // Ask for WM_MOUSELEAVE when the pointer goes.
    TRACKMOUSEEVENT request{};
    request.cbSize = sizeof request;
    request.dwFlags = TME_LEAVE;
    request.hwndTrack = window;
    request.dwHoverTime = 0;
    _TrackMouseEvent(&request);
}

int32_t MoveButtonData(WPARAM wParam) {
    if (wParam & MK_RBUTTON) return 2;
    if (wParam & MK_MBUTTON) return 4;  // not 3: moves name the middle button 4
    if (wParam & MK_LBUTTON) return 1;
    return 0;
}

}  // namespace

TWin32InputModule& Win32InputModule() {
    static TWin32InputModule module;
    return module;
}

void TWin32InputModule::Reset() {
    heldModifiers = 0;
    tracked = nullptr;
    trackedSource = nullptr;
    mouseVisible = 1;
    deferredError = nullptr;
    UpdateCursor();
}

int32_t KeyCodeOf(WPARAM wParam, LPARAM lParam) {
    // Scan code bits 16-22 with the extended-key flag (bit 24) as bit 7.
    const uint32_t bits = static_cast<uint32_t>(lParam);
    const uint32_t scan = ((bits >> 16) & 0x7F) | ((bits >> 17) & 0x80);
    switch (scan) {
        case 0x2A: return 160;  // left Shift
        case 0x36: return 161;  // right Shift
        case 0x1D: return 162;  // left Control
        case 0x9D: return 163;  // right Control
        case 0x38: return 164;  // left Alt
        case 0xB8: return 165;  // right Alt (AltGr)
        default: return static_cast<int32_t>(wParam);
    }
}

int32_t Win32Modifiers() {
    const uint32_t held = Win32InputModule().heldModifiers;
    int32_t mods = 0;
    if (held & 0x03) mods |= MODIFIER_SHIFT;
    if (held & 0x0C) mods |= MODIFIER_CONTROL;
    if (held & 0x30) mods |= MODIFIER_OPTION;
    if (held & 0xC0) mods |= MODIFIER_SYSTEM;
    return mods;
}

void ReadHeldModifiers() {
    static const int keys[8] = {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU, VK_LWIN, VK_RWIN};
    uint32_t held = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (GetKeyState(keys[bit]) & 0x8000) held |= 1u << bit;
    }
    Win32InputModule().heldModifiers = held;
}

void EmitSystemEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const Ref<TObject>& source) {
    const int32_t x = GET_X_LPARAM(lParam);
    const int32_t y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_CLOSE:
            Emit(EVENT_APPTERMINATE, source, 0, Win32Modifiers(), 0, 0);
            break;
        case WM_ACTIVATEAPP:
            // Keys may have gone up or down while another program had the keyboard.
            ReadHeldModifiers();
            Emit(wParam ? EVENT_APPRESUME : EVENT_APPSUSPEND, source, 0, Win32Modifiers(), 0, 0);
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            if (wParam < 1 || wParam > 255) break;
            const int32_t key = KeyCodeOf(wParam, lParam);
            const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
            NoteModifierKey(key, down);
            int32_t id = EVENT_KEYUP;
            if (down) id = (lParam & (1 << 30)) ? EVENT_KEYREPEAT : EVENT_KEYDOWN;
            Emit(id, source, key, Win32Modifiers(), 0, 0);
            break;
        }
        case WM_CHAR:
        case WM_SYSCHAR:
            // A character beyond 16 bits comes as two messages, one per UTF-16 unit.
            Emit(EVENT_KEYCHAR, source, static_cast<int32_t>(wParam & 0xFFFF), Win32Modifiers(), 0, 0);
            break;
        case WM_MOUSEMOVE: {
            RECT client{};
            GetClientRect(window, &client);
            const bool inside = x >= 0 && y >= 0 && x < client.right && y < client.bottom;
            Track(inside ? window : nullptr, x, y, source);
            Emit(EVENT_MOUSEMOVE, source, MoveButtonData(wParam), Win32Modifiers(), x, y);
            break;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            // Held buttons keep the pointer's messages coming here even outside the window.
            SetCapture(window);
            const int32_t button = message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : 3;
            Emit(EVENT_MOUSEDOWN, source, button, Win32Modifiers(), x, y);
            break;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            ReleaseCapture();
            const int32_t button = message == WM_LBUTTONUP ? 1 : message == WM_RBUTTONUP ? 2 : 3;
            Emit(EVENT_MOUSEUP, source, button, Win32Modifiers(), x, y);
            break;
        }
        case WM_MOUSEWHEEL: {
            // The wheel's position is on the screen; steps of 120, a part step rounds to 0.
            POINT at{x, y};
            ScreenToClient(window, &at);
            const int32_t steps = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
            Emit(EVENT_MOUSEWHEEL, source, steps, Win32Modifiers(), at.x, at.y);
            break;
        }
        case WM_MOUSELEAVE:
            if (window == Win32InputModule().tracked) Track(nullptr, 0, 0, nullptr);
            break;
        default:
            break;
    }
}

void MoveWin32Pointer(int32_t x, int32_t y) {
    POINT at{x, y};
    if (HWND active = GetActiveWindow()) ClientToScreen(active, &at);
    SetCursorPos(at.x, at.y);
}

void SetWin32MouseVisible(int32_t visible) {
    Win32InputModule().mouseVisible = visible;
    UpdateCursor();
}

void ForgetWin32Window(HWND window) {
    TWin32InputModule& s = Win32InputModule();
    if (s.tracked != window) return;
    s.tracked = nullptr;
    s.trackedSource = nullptr;
    UpdateCursor();
}

void DeferWindowProcError(std::exception_ptr error) {
    TWin32InputModule& s = Win32InputModule();
    if (!s.deferredError) s.deferredError = std::move(error);  // the first one is the cause
}

void RaiseDeferredWindowProcError() {
    TWin32InputModule& s = Win32InputModule();
    if (!s.deferredError) return;
    std::exception_ptr error = std::move(s.deferredError);
    s.deferredError = nullptr;
    std::rethrow_exception(error);
}

}  // namespace corvex::win32

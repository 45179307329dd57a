// Our windows and the translation of their X events into TEvents: keys with virtual-key
// numbers and modifier bits, typed text, pointer moves, buttons and wheel, the pointer entering
// and leaving, focus as application suspend and resume, and close requests.
// Only system/x11/ and graphics/glx/ include this header.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace corvex::x11 {

// The owner of a window (the GL driver) sees each of its events after it was translated.
class TX11WindowClient {
public:
    virtual ~TX11WindowClient() = default;
    virtual void HandleX11Event(const XEvent& event) = 0;
};

struct TX11Window {
    Window window = 0;
    TX11WindowClient* client = nullptr;
    int32_t width = 0;   // client size, kept up to date from ConfigureNotify
    int32_t height = 0;
    XIC inputContext = nullptr;
};

// Event mask our windows select.
constexpr long OUR_WINDOW_EVENTS = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                                   PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask |
                                   StructureNotifyMask | ExposureMask;

// --- Our windows ------------------------------------------------------------------------------
// Selects our events on window (keeping any the creator selected), asks for WM_DELETE_WINDOW
// and makes its events become TEvents. client may be nullptr.
void RegisterX11Window(Window window, TX11WindowClient* client);
void UnregisterX11Window(Window window);  // before the window is destroyed
TX11Window* FindX11Window(Window window); // nullptr when not ours

// --- Events -----------------------------------------------------------------------------------
void DispatchX11Event(XEvent& event);     // translate, emit, then hand to the window's client

// --- Pointer ------------------------------------------------------------------------------------
void MoveX11Pointer(int32_t x, int32_t y);   // client (x, y) of the active window, else of the screen
void SetX11MouseVisible(int32_t visible);    // hidden only while the pointer is over one of our windows

// --- Modifiers ---------------------------------------------------------------------------------
int32_t X11Modifiers();                    // MODIFIER_* bits of the held modifier keys

}  // namespace corvex::x11

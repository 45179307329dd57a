// Top-level X windows for GL contexts: geometry, title, class and size hints.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <string>

namespace corvex::glx {

constexpr const char* WINDOW_CLASS = "Corvex GLGraphics";  // WM_CLASS of our windows

// A window with the given visual at (x, y) whose client area is width x height, titled title
// (UTF-8), fixed in size unless resizable. fullScreen asks the window manager to cover the
// monitor without a frame. Returns 0 when the server refuses it. The window is not mapped yet.
Window CreateTopLevelWindow(Display* display, const XVisualInfo& visual, int32_t x, int32_t y, int32_t width,
                            int32_t height, const std::string& title, bool fullScreen, bool resizable = false);

// Maps the window and waits (at most two seconds) until the server reports it mapped.
void MapAndWait(Display* display, Window window);

// The hidden 1 x 1 window of the shared context; never mapped.
Window CreateHiddenWindow(Display* display, const XVisualInfo& visual);

}  // namespace corvex::glx

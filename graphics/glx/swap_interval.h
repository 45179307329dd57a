// The swap interval of the current drawable: 0 presents at once, 1 waits for vertical blank.
#pragma once

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdint>

namespace corvex::glx {

// Sets the interval of the current drawable through GLX_EXT_swap_control, else
// GLX_MESA_swap_control, else GLX_SGI_swap_control (which cannot set 0), looked up on every
// call. Without any of them, or without a current drawable, nothing happens. Returns whether
// an extension took it.
bool SetSwapInterval(Display* display, int32_t interval);

// The same for drawable, whatever is current: GLX_EXT_swap_control names it; the others only
// reach the current drawable, so context is made current on drawable for the call and the
// previous binding put back. A null context with those leaves the interval unchanged.
bool SetSwapInterval(Display* display, GLXDrawable drawable, GLXContext context, int32_t interval);

// Which extension SetSwapInterval would use: "GLX_EXT_swap_control", ..., or "" for none.
const char* SwapIntervalExtension(Display* display);

}  // namespace corvex::glx

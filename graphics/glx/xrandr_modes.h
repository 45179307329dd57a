// Display modes of the primary monitor through XRandR: listing them, switching to one for a
// full-screen window and restoring the desktop's.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

namespace corvex::glx {

struct TDisplayMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;  // bits per pixel of the screen's pixel format
    int32_t hertz = 0;  // rounded refresh rate, 0 when unknown
};

// Modes of the primary output in the server's order, at most capacity, none below 16 bits
// per pixel. Duplicates stay.
std::vector<TDisplayMode> ListDisplayModes(Display* display, size_t capacity = 1024);

// Switches the primary output to width x height (and hertz, when not 0); the desktop's mode
// is remembered the first time. False when no such mode exists or the server refused.
bool SwitchDisplayMode(Display* display, int32_t width, int32_t height, int32_t hertz);
void RestoreDisplayMode(Display* display);  // back to the desktop's mode; nothing when not switched
bool DisplayModeSwitched();

// Refresh rate of a mode line, rounded; 0 when the timings are unknown.
int32_t RefreshRate(unsigned long dotClock, unsigned hTotal, unsigned vTotal, bool interlaced, bool doubleScan);

}  // namespace corvex::glx

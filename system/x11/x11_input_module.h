// The X11 input layer's state: our windows, held keys and modifiers, pointer, focus, cursor.
// In-tree code only.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <cstdint>
#include <vector>

#include "system/x11/input.h"

namespace corvex::x11 {

struct TX11InputModule {
    std::vector<TX11Window> windows;       // newest last
    std::array<bool, 256> keysDown{};      // by X key code: a press of a key already down repeats
    uint32_t heldModifiers = 0;            // bit per key: 160..165 -> bits 0..5, 91 -> 6, 92 -> 7
    Window tracked = 0;                    // our window the pointer is in, as last seen
    Window focused = 0;                    // our window with the keyboard focus
    bool appActive = false;                // one of our windows has the focus
    int32_t mouseVisible = 1;              // the program's wish
    bool cursorHidden = false;             // the blank cursor is defined on our windows
    Cursor blankCursor = 0;
    void Reset();                          // for tests: forget keys, pointer and focus (windows stay)
};
TX11InputModule& X11InputModule();

}  // namespace corvex::x11

// The Win32 input layer's state: held modifiers, the tracked window, the cursor wish.
// In-tree code only.
#pragma once

#include "system/win32/messages.h"

namespace corvex::win32 {

struct TWin32InputModule {
    uint32_t heldModifiers = 0;      // bit per key: 160..165 -> bits 0..5, 91 -> 6, 92 -> 7
    HWND tracked = nullptr;          // our window the pointer is inside, as last seen
    Ref<TObject> trackedSource;      // the source the tracked window's events carry
    int32_t mouseVisible = 1;        // the program's wish
    std::exception_ptr deferredError;
    void Reset();                    // for tests: forget modifiers and the pointer, show the cursor
};
TWin32InputModule& Win32InputModule();

}  // namespace corvex::win32

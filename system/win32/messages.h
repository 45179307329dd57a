// Window messages of our windows turned into TEvents: keys with virtual-key numbers (left and
// right Shift, Control and Alt told apart), characters, pointer moves, buttons and wheel, the
// pointer entering and leaving, activation as suspend and resume, and close requests.
// Only system/win32/ and graphics/wgl/ include this header.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <exception>

#include <corvex/runtime/object.h>

namespace corvex::win32 {

// --- Translation (main thread) ------------------------------------------------------------------
// Translates one message of our window and emits the event it makes, if any. The window
// procedure calls it first, before its own handling.
void EmitSystemEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const Ref<TObject>& source);
// The key code of a key message: 160..165 for the left and right Shift, Control and Alt keys
// (told apart by the scan code and extended bit of lParam), else the virtual key.
int32_t KeyCodeOf(WPARAM wParam, LPARAM lParam);
int32_t Win32Modifiers();                 // MODIFIER_* bits of the held modifier keys
void ReadHeldModifiers();                 // takes the held modifier keys from GetKeyState

// --- Pointer --------------------------------------------------------------------------------------
void MoveWin32Pointer(int32_t x, int32_t y);   // client (x, y) of the active window, else of the screen
void SetWin32MouseVisible(int32_t visible);    // hidden only while the pointer is over one of our windows
void ForgetWin32Window(HWND window);           // before our window is destroyed: it is tracked no more

// --- Errors raised inside a window procedure --------------------------------------------------
// An exception must not unwind through the system's message dispatch: the window procedure keeps
// it here and the pump raises it once the dispatch has returned.
void DeferWindowProcError(std::exception_ptr error);
void RaiseDeferredWindowProcError();      // rethrows the kept error, if any, and forgets it

}  // namespace corvex::win32

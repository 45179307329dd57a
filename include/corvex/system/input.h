// Polled keyboard and mouse input, kept up to date by a hook on the event chain.
//
// Every query first drains pending messages (PollSystemEvents), so it reflects every message that
// had arrived before the call; with nothing pending that costs a few nanoseconds. Key codes are
// 0..255 (27 Escape, 32 Space, 65 A, 160..165 left/right Shift, Control, Alt), buttons 1 left,
// 2 right, 3 middle; codes and buttons out of range answer 0 and are ignored in events.
// Main thread only.
#pragma once

#include <cstdint>

#include <corvex/runtime/object.h>

namespace corvex {

// --- Switching the hook on and off --------------------------------------------------------------
void StartPolledInput(const Ref<TObject>& source);  // count only events of source (Null: all); once
void StopPolledInput();                              // uninstall, clear everything

// --- Keyboard -----------------------------------------------------------------------------------
int32_t KeyHits(int32_t key);      // "KeyDown"s since the last call for key; resets to 0
int32_t IsKeyDown(int32_t key);    // 1 while held
int32_t NextChar();                // next character typed, 0 when none
void ClearKeys();                  // key states, hits and the character queue
void FlushKeys();                  // hits and the character queue only: held keys stay held

// --- Mouse --------------------------------------------------------------------------------------
int32_t MouseHits(int32_t button); // "MouseDown"s since the last call for button; resets to 0
int32_t IsMouseDown(int32_t button);
int32_t MousePosX();               // last pointer position in client pixels
int32_t MousePosY();
int32_t MouseWheelPos();           // wheel steps since the last ClearMouse
void ClearMouse();                 // button states, hits and the wheel sum; x and y stay

// --- Waiting (block in WaitSystemEvents; return 0 at once when called while pumping) -----------
int32_t WaitForKey();              // the first key hit, lowest code first
int32_t WaitForChar();             // the next character
int32_t WaitForMouse();            // the first button hit, lowest first

// --- Application state --------------------------------------------------------------------------
int32_t IsAppSuspended();          // 1 while the application is not the active one
int32_t TerminateRequested();      // 1 once per close request

// --- Start-up -----------------------------------------------------------------------------------
void StartPolledInputModule();  // module "polledinput"; starts "hook", "event", "system" first

}  // namespace corvex

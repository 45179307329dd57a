// Keysyms and key codes to the virtual-key numbers that key events carry.
#pragma once

#include <cstdint>

namespace corvex::x11 {

// The virtual-key number (1-255) of a key, or 0 when it has none.
// keysym is the key's unshifted keysym; keypad keys give digits and the decimal point
// only while Num Lock is on (numLock), as on a PC. keycode (the X key code, evdev numbering)
// places keys whose keysym is not in the table, such as letters of a non-Latin layout,
// by their position on a US keyboard.
int32_t VirtualKeyFor(uint32_t keysym, uint32_t keycode, bool numLock);

// The virtual key of a keysym alone, 0 when the table has none.
int32_t VirtualKeyOfKeysym(uint32_t keysym);

// The virtual key at a key position of a US 105-key keyboard (X key code, evdev numbering).
int32_t VirtualKeyOfKeycode(uint32_t keycode);

}  // namespace corvex::x11

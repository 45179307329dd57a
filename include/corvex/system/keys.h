// Key and mouse-button codes: the numbers key events and polled-input queries use (virtual-key
// numbers; left and right Shift, Control and Alt told apart). Every code the X11 driver produces
// has a name here.
#pragma once

#include <cstdint>

namespace corvex {

// ---- Mouse buttons (MouseDown, MouseHit, event data)
constexpr int32_t MOUSE_LEFT = 1;
constexpr int32_t MOUSE_RIGHT = 2;
constexpr int32_t MOUSE_MIDDLE = 3;

// ---- Editing and control keys
constexpr int32_t KEY_BREAK = 3;
constexpr int32_t KEY_BACKSPACE = 8;
constexpr int32_t KEY_TAB = 9;
constexpr int32_t KEY_CLEAR = 12;  // also keypad 5 with Num Lock off
constexpr int32_t KEY_ENTER = 13;  // Return and keypad Enter
constexpr int32_t KEY_PAUSE = 19;
constexpr int32_t KEY_CAPSLOCK = 20;
constexpr int32_t KEY_ESCAPE = 27;
constexpr int32_t KEY_SPACE = 32;

// ---- Navigation
constexpr int32_t KEY_PAGEUP = 33;
constexpr int32_t KEY_PAGEDOWN = 34;
constexpr int32_t KEY_END = 35;
constexpr int32_t KEY_HOME = 36;
constexpr int32_t KEY_LEFT = 37;
constexpr int32_t KEY_UP = 38;
constexpr int32_t KEY_RIGHT = 39;
constexpr int32_t KEY_DOWN = 40;
constexpr int32_t KEY_SELECT = 41;
constexpr int32_t KEY_EXECUTE = 43;
constexpr int32_t KEY_PRINTSCREEN = 44;
constexpr int32_t KEY_INSERT = 45;
constexpr int32_t KEY_DELETE = 46;
constexpr int32_t KEY_HELP = 47;

// ---- Digits and letters: their ASCII codes
constexpr int32_t KEY_0 = 48, KEY_1 = 49, KEY_2 = 50, KEY_3 = 51, KEY_4 = 52;
constexpr int32_t KEY_5 = 53, KEY_6 = 54, KEY_7 = 55, KEY_8 = 56, KEY_9 = 57;
constexpr int32_t KEY_A = 65, KEY_B = 66, KEY_C = 67, KEY_D = 68, KEY_E = 69, KEY_F = 70;
constexpr int32_t KEY_G = 71, KEY_H = 72, KEY_I = 73, KEY_J = 74, KEY_K = 75, KEY_L = 76;
constexpr int32_t KEY_M = 77, KEY_N = 78, KEY_O = 79, KEY_P = 80, KEY_Q = 81, KEY_R = 82;
constexpr int32_t KEY_S = 83, KEY_T = 84, KEY_U = 85, KEY_V = 86, KEY_W = 87, KEY_X = 88;
constexpr int32_t KEY_Y = 89, KEY_Z = 90;

// ---- System keys
constexpr int32_t KEY_LSYS = 91;  // left Windows / Super
constexpr int32_t KEY_RSYS = 92;
constexpr int32_t KEY_MENU = 93;

// ---- Keypad (digits and decimal point with Num Lock on)
constexpr int32_t KEY_NUM0 = 96, KEY_NUM1 = 97, KEY_NUM2 = 98, KEY_NUM3 = 99, KEY_NUM4 = 100;
constexpr int32_t KEY_NUM5 = 101, KEY_NUM6 = 102, KEY_NUM7 = 103, KEY_NUM8 = 104, KEY_NUM9 = 105;
constexpr int32_t KEY_NUMMULTIPLY = 106;
constexpr int32_t KEY_NUMADD = 107;
constexpr int32_t KEY_NUMSEPARATOR = 108;
constexpr int32_t KEY_NUMSUBTRACT = 109;
constexpr int32_t KEY_NUMDECIMAL = 110;
constexpr int32_t KEY_NUMDIVIDE = 111;

// ---- Function keys F1 to F24
constexpr int32_t KEY_F1 = 112, KEY_F2 = 113, KEY_F3 = 114, KEY_F4 = 115, KEY_F5 = 116, KEY_F6 = 117;
constexpr int32_t KEY_F7 = 118, KEY_F8 = 119, KEY_F9 = 120, KEY_F10 = 121, KEY_F11 = 122, KEY_F12 = 123;
constexpr int32_t KEY_F13 = 124, KEY_F14 = 125, KEY_F15 = 126, KEY_F16 = 127, KEY_F17 = 128;
constexpr int32_t KEY_F18 = 129, KEY_F19 = 130, KEY_F20 = 131, KEY_F21 = 132, KEY_F22 = 133;
constexpr int32_t KEY_F23 = 134, KEY_F24 = 135;

// ---- Locks
constexpr int32_t KEY_NUMLOCK = 144;
constexpr int32_t KEY_SCROLLLOCK = 145;

// ---- Modifiers, left and right
constexpr int32_t KEY_LSHIFT = 160;
constexpr int32_t KEY_RSHIFT = 161;
constexpr int32_t KEY_LCONTROL = 162;
constexpr int32_t KEY_RCONTROL = 163;
constexpr int32_t KEY_LALT = 164;
constexpr int32_t KEY_RALT = 165;  // also AltGr (ISO level 3 shift)

// ---- Punctuation, numbered by its place on a US layout
constexpr int32_t KEY_SEMICOLON = 186;
constexpr int32_t KEY_EQUALS = 187;
constexpr int32_t KEY_COMMA = 188;
constexpr int32_t KEY_MINUS = 189;
constexpr int32_t KEY_PERIOD = 190;
constexpr int32_t KEY_SLASH = 191;
constexpr int32_t KEY_TILDE = 192;  // the grave accent key
constexpr int32_t KEY_OPENBRACKET = 219;
constexpr int32_t KEY_BACKSLASH = 220;
constexpr int32_t KEY_CLOSEBRACKET = 221;
constexpr int32_t KEY_QUOTES = 222;
constexpr int32_t KEY_BACKSLASH2 = 226;  // the extra key beside left Shift on ISO keyboards

}  // namespace corvex

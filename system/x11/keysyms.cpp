#include "system/x11/keysyms.h"

#include <X11/keysym.h>

namespace corvex::x11 {
namespace {

// Keypad keys while Num Lock is on: the digit (96-105) or the decimal point (110).
int32_t NumLockedKeypad(uint32_t keysym) {
    switch (keysym) {
        case XK_KP_Insert: return 96;
        case XK_KP_End: return 97;
        case XK_KP_Down: return 98;
        case XK_KP_Next: return 99;
        case XK_KP_Left: return 100;
        case XK_KP_Begin: return 101;
        case XK_KP_Right: return 102;
        case XK_KP_Home: return 103;
        case XK_KP_Up: return 104;
        case XK_KP_Prior: return 105;
        case XK_KP_Delete: return 110;
        default: return 0;
    }
}

}  // namespace

int32_t VirtualKeyOfKeysym(uint32_t keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return static_cast<int32_t>(keysym - XK_a) + 65;
    if (keysym >= XK_A && keysym <= XK_Z) return static_cast<int32_t>(keysym - XK_A) + 65;
    if (keysym >= XK_0 && keysym <= XK_9) return static_cast<int32_t>(keysym - XK_0) + 48;
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return static_cast<int32_t>(keysym - XK_KP_0) + 96;
    if (keysym >= XK_F1 && keysym <= XK_F24) return static_cast<int32_t>(keysym - XK_F1) + 112;
    switch (keysym) {
        // Editing and control keys.
        case XK_BackSpace: return 8;
        case XK_Tab:
        case XK_ISO_Left_Tab:
        case XK_KP_Tab: return 9;
        case XK_Clear: return 12;
        case XK_Return:
        case XK_KP_Enter: return 13;
        case XK_Pause: return 19;
        case XK_Break:
        case XK_Cancel: return 3;
        case XK_Caps_Lock: return 20;
        case XK_Escape: return 27;
        case XK_space:
        case XK_KP_Space: return 32;
        // Navigation block; the keypad's navigation keys while Num Lock is off.
        case XK_Prior:
        case XK_KP_Prior: return 33;
        case XK_Next:
        case XK_KP_Next: return 34;
        case XK_End:
        case XK_KP_End: return 35;
        case XK_Home:
        case XK_KP_Home: return 36;
        case XK_Left:
        case XK_KP_Left: return 37;
        case XK_Up:
        case XK_KP_Up: return 38;
        case XK_Right:
        case XK_KP_Right: return 39;
        case XK_Down:
        case XK_KP_Down: return 40;
        case XK_Select: return 41;
        case XK_Execute: return 43;
        case XK_Print:
        case XK_Sys_Req: return 44;
        case XK_Insert:
        case XK_KP_Insert: return 45;
        case XK_Delete:
        case XK_KP_Delete: return 46;
        case XK_Help: return 47;
        case XK_KP_Begin: return 12;
        // Windows keys and the menu key.
        case XK_Super_L: return 91;
        case XK_Super_R: return 92;
        case XK_Menu: return 93;
        // Keypad operators.
        case XK_KP_Multiply: return 106;
        case XK_KP_Add: return 107;
        case XK_KP_Separator: return 108;
        case XK_KP_Subtract: return 109;
        case XK_KP_Decimal: return 110;
        case XK_KP_Divide: return 111;
        case XK_Num_Lock: return 144;
        case XK_Scroll_Lock: return 145;
        // Left and right modifiers are told apart.
        case XK_Shift_L: return 160;
        case XK_Shift_R: return 161;
        case XK_Control_L: return 162;
        case XK_Control_R: return 163;
        case XK_Alt_L:
        case XK_Meta_L: return 164;
        case XK_Alt_R:
        case XK_Meta_R:
        case XK_ISO_Level3_Shift: return 165;
        // Punctuation, numbered as on a US layout.
        case XK_semicolon: return 186;
        case XK_equal:
        case XK_plus: return 187;
        case XK_comma: return 188;
        case XK_minus: return 189;
        case XK_period: return 190;
        case XK_slash: return 191;
        case XK_grave: return 192;
        case XK_bracketleft: return 219;
        case XK_backslash: return 220;
        case XK_bracketright: return 221;
        case XK_apostrophe: return 222;
        case XK_less: return 226;
        default: return 0;
    }
}

int32_t VirtualKeyOfKeycode(uint32_t keycode) {
    // X key code = evdev code + 8; the positions of a US 105-key keyboard.
    static const uint8_t table[136] = {
        /*   0 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 27,
        /*  10 */ 49, 50, 51, 52, 53, 54, 55, 56, 57, 48,
        /*  20 */ 189, 187, 8, 9, 81, 87, 69, 82, 84, 89,
        /*  30 */ 85, 73, 79, 80, 219, 221, 13, 162, 65, 83,
        /*  40 */ 68, 70, 71, 72, 74, 75, 76, 186, 222, 192,
        /*  50 */ 160, 220, 90, 88, 67, 86, 66, 78, 77, 188,
        /*  60 */ 190, 191, 161, 106, 164, 32, 20, 112, 113, 114,
        /*  70 */ 115, 116, 117, 118, 119, 120, 121, 144, 145, 103,
        /*  80 */ 104, 105, 109, 100, 101, 102, 107, 97, 98, 99,
        /*  90 */ 96, 110, 0, 0, 226, 122, 123, 0, 0, 0,
        /* 100 */ 0, 0, 0, 0, 13, 163, 111, 44, 165, 0,
        /* 110 */ 36, 38, 33, 37, 39, 35, 40, 34, 45, 46,
        /* 120 */ 0, 0, 0, 0, 0, 0, 0, 19, 0, 0,
        /* 130 */ 0, 0, 0, 91, 92, 93,
    };
    return keycode < sizeof(table) ? table[keycode] : 0;
}

int32_t VirtualKeyFor(uint32_t keysym, uint32_t keycode, bool numLock) {
    if (numLock) {
        if (int32_t vk = NumLockedKeypad(keysym)) return vk;
    }
    if (int32_t vk = VirtualKeyOfKeysym(keysym)) return vk;
    return VirtualKeyOfKeycode(keycode);
}

}  // namespace corvex::x11

// The keysym and key-position tables against the virtual-key numbers of a PC keyboard.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <set>

#include "system/x11/keysyms.h"

using namespace corvex::x11;

TEST(Keysyms, LettersDigitsAndControlKeys) {
    EXPECT_EQ(VirtualKeyFor(XK_a, 38, false), 65);
    EXPECT_EQ(VirtualKeyFor(XK_A, 38, false), 65);
    EXPECT_EQ(VirtualKeyFor(XK_z, 52, false), 90);
    EXPECT_EQ(VirtualKeyFor(XK_0, 19, false), 48);
    EXPECT_EQ(VirtualKeyFor(XK_9, 18, false), 57);
    EXPECT_EQ(VirtualKeyFor(XK_Escape, 9, false), 27);
    EXPECT_EQ(VirtualKeyFor(XK_space, 65, false), 32);
    EXPECT_EQ(VirtualKeyFor(XK_Return, 36, false), 13);
    EXPECT_EQ(VirtualKeyFor(XK_BackSpace, 22, false), 8);
    EXPECT_EQ(VirtualKeyFor(XK_ISO_Left_Tab, 23, false), 9);  // Shift+Tab is still Tab
    EXPECT_EQ(VirtualKeyFor(XK_F1, 67, false), 112);
    EXPECT_EQ(VirtualKeyFor(XK_F12, 96, false), 123);
}

TEST(Keysyms, LeftAndRightModifiersAreToldApart) {
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Shift_L), 160);
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Shift_R), 161);
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Control_L), 162);
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Control_R), 163);
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Alt_L), 164);
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Alt_R), 165);
    EXPECT_EQ(VirtualKeyOfKeysym(XK_ISO_Level3_Shift), 165);  // AltGr
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Super_L), 91);
    EXPECT_EQ(VirtualKeyOfKeysym(XK_Super_R), 92);
}

TEST(Keysyms, KeypadFollowsNumLock) {
    // Level-0 keysyms of the keypad are the navigation ones; Num Lock turns them into digits.
    EXPECT_EQ(VirtualKeyFor(XK_KP_Home, 79, true), 103);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Home, 79, false), 36);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Insert, 90, true), 96);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Insert, 90, false), 45);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Delete, 91, true), 110);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Delete, 91, false), 46);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Begin, 84, false), 12);
    EXPECT_EQ(VirtualKeyFor(XK_KP_5, 84, false), 101);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Enter, 104, true), 13);
    EXPECT_EQ(VirtualKeyFor(XK_KP_Add, 86, true), 107);
    // Num Lock changes nothing outside the keypad.
    EXPECT_EQ(VirtualKeyFor(XK_Home, 110, true), 36);
}

TEST(Keysyms, UnknownKeysymsFallBackToTheKeyPosition) {
    // A Cyrillic letter on the A key and a German umlaut on the apostrophe key.
    EXPECT_EQ(VirtualKeyFor(XK_Cyrillic_ef, 38, false), 65);
    EXPECT_EQ(VirtualKeyFor(XK_adiaeresis, 48, false), 222);
    // A French layout types '&' unshifted on the 1 key.
    EXPECT_EQ(VirtualKeyFor(XK_ampersand, 10, false), 49);
    EXPECT_EQ(VirtualKeyFor(0, 300, false), 0);
    EXPECT_EQ(VirtualKeyFor(0, 0, false), 0);
}

TEST(Keysyms, EveryKeyOfA105KeyKeyboardHasItsOwnNumber) {
    // The key codes of a standard 105-key keyboard (evdev numbering), keypad with Num Lock on.
    const unsigned codes[] = {
        9,   67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  95,  96,  107, 78,  127,           // top row
        49,  10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  22,                       // digits
        23,  24,  25,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,                       // Q row
        66,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  51,                            // A row
        50,  94,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,                            // Z row
        37,  133, 64,  65,  108, 134, 135, 105,                                                    // bottom row
        118, 110, 112, 119, 115, 117, 111, 113, 116, 114,                                          // navigation
        77,  106, 63,  82,  79,  80,  81,  86,  83,  84,  85,  87,  88,  89,  104, 90,  91,        // keypad
    };
    std::set<int> seen;
    for (unsigned code : codes) {
        const int vk = VirtualKeyOfKeycode(code);
        EXPECT_GE(vk, 1) << "key code " << code;
        EXPECT_LE(vk, 255) << "key code " << code;
        seen.insert(vk);
    }
    // Both Enter keys are 13, as on a PC; every other key differs.
    EXPECT_EQ(seen.size(), std::size(codes) - 1);
}

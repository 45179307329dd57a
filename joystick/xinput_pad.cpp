// XInput's layout mapped onto the standard one: XInput has it already, only the bit order, the
// vertical sense of the sticks and the triggers' range differ.
#include "joystick/xinput_pad.h"

#include <corvex/joystick/joystick.h>

#include "joystick/joystick_module.h"

namespace corvex {
namespace {

struct TButtonBit {
    uint16_t bit;
    int32_t button;
};
// XINPUT_GAMEPAD_* bits.
constexpr TButtonBit kButtons[] = {
    {0x0001, JOY_BUTTON_DPAD_UP},      {0x0002, JOY_BUTTON_DPAD_DOWN},     {0x0004, JOY_BUTTON_DPAD_LEFT},
    {0x0008, JOY_BUTTON_DPAD_RIGHT},   {0x0010, JOY_BUTTON_START},         {0x0020, JOY_BUTTON_BACK},
    {0x0040, JOY_BUTTON_LEFTSTICK},    {0x0080, JOY_BUTTON_RIGHTSTICK},    {0x0100, JOY_BUTTON_LEFTSHOULDER},
    {0x0200, JOY_BUTTON_RIGHTSHOULDER}, {0x1000, JOY_BUTTON_A},            {0x2000, JOY_BUTTON_B},
    {0x4000, JOY_BUTTON_X},            {0x8000, JOY_BUTTON_Y},
};

float Stick(int16_t v) { return v < -32767 ? -1.0f : static_cast<float>(v) / 32767.0f; }
float Trigger(uint8_t v) { return static_cast<float>(v) / 255.0f; }

}  // namespace

void ReportXInputPad(int32_t port, const TXInputPad& before, const TXInputPad& now, bool emit) {
    for (const TButtonBit& b : kButtons) {
        const bool down = (now.buttons & b.bit) != 0;
        if (!emit || down != ((before.buttons & b.bit) != 0)) JoyPadButton(port, b.button, down, emit);
    }
    // Our sticks read -1 up; XInput's read +1 up.
    const float axes[6] = {Stick(now.leftX), -Stick(now.leftY), Stick(now.rightX), -Stick(now.rightY),
                           Trigger(now.leftTrigger), Trigger(now.rightTrigger)};
    const float was[6] = {Stick(before.leftX), -Stick(before.leftY), Stick(before.rightX), -Stick(before.rightY),
                          Trigger(before.leftTrigger), Trigger(before.rightTrigger)};
    const int32_t ids[6] = {JOY_AXIS_LEFTX, JOY_AXIS_LEFTY, JOY_AXIS_RIGHTX, JOY_AXIS_RIGHTY, JOY_AXIS_LEFTTRIGGER,
                            JOY_AXIS_RIGHTTRIGGER};
    for (int i = 0; i < 6; ++i)
        if (!emit || axes[i] != was[i]) JoyPadAxis(port, ids[i], axes[i], emit);
}

}  // namespace corvex

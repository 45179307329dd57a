// The state of one XInput pad in XInput's own layout, and its translation into the standard
// layout of the joystick module. Platform-neutral, so that it is tested everywhere. In-tree code.
#pragma once

#include <cstdint>

namespace corvex {

// The fields of XINPUT_GAMEPAD (wButtons bits as XInput defines them).
struct TXInputPad {
    uint16_t buttons = 0;
    uint8_t leftTrigger = 0, rightTrigger = 0;  // 0..255
    int16_t leftX = 0, leftY = 0;               // stick up is positive, as XInput reports it
    int16_t rightX = 0, rightY = 0;
};

// Reports to port what changed from before to now (every field when emit is false: a pad that
// has just arrived starts from its state without events).
void ReportXInputPad(int32_t port, const TXInputPad& before, const TXInputPad& now, bool emit);

}  // namespace corvex

// The joystick module's state (ports and their polled state, the dead zone, the back end) and
// the calls a back end reports controller changes through. In-tree code only.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include <corvex/joystick/joystick.h>

namespace corvex {

// The platform side: reads the controllers and reports through the JoyPad* calls below.
class TJoystickBackend {
public:
    virtual ~TJoystickBackend() = default;
    virtual void Pump() = 0;                                  // report everything that changed
    virtual int32_t AddMappings(std::string_view text) = 0;   // count added, -1 on error
};

// The platform's back end, or Null when it cannot start (no controller support here).
std::unique_ptr<TJoystickBackend> CreateJoystickBackend();

struct TJoyPad {
    int32_t connected = 0;
    int32_t mapped = 0;
    TString name;
    std::array<int32_t, JOY_BUTTONS> down{};
    std::array<int32_t, JOY_BUTTONS> hits{};
    std::array<float, JOY_AXES> axes{};  // after the dead zone
    int32_t hat = 0;
};

struct TJoystickModule {
    std::array<TJoyPad, JOY_PORTS> pads;
    float deadZone = 0.2f;
    int32_t started = 0;
    std::unique_ptr<TJoystickBackend> backend;
    std::chrono::steady_clock::time_point lastPump{};
    void Reset();  // for tests: every port empty, default dead zone, the back end started afresh
};
TJoystickModule& JoystickModule();

// --- Reported by the back end (emit: raise the event; false while syncing a fresh controller) --
int32_t JoyPadAttach(const TString& name, int32_t mapped);  // the port taken, -1 when all are full
void JoyPadDetach(int32_t port);                             // releases what it held, then leaves
void JoyPadButton(int32_t port, int32_t button, bool down, bool emit = true);
void JoyPadAxis(int32_t port, int32_t axis, float value, bool emit = true);  // value -1..1 raw
void JoyPadHat(int32_t port, int32_t hat, bool emit = true);

}  // namespace corvex

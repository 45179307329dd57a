#include <corvex/joystick/joystick.h>

#include <algorithm>
#include <cmath>

#include <corvex/runtime/module.h>
#include <corvex/system/entry.h>
#include <corvex/system/event.h>
#include <corvex/system/system.h>
#include "joystick/joystick_module.h"

namespace corvex {
namespace {

bool ValidPort(int32_t port) { return port >= 0 && port < JOY_PORTS; }
bool ValidButton(int32_t button) { return button >= 0 && button < JOY_BUTTONS; }
bool ValidAxis(int32_t axis) { return axis >= 0 && axis < JOY_AXES; }

void Emit(int32_t id, int32_t port, int32_t data, int32_t value) {
    TEvent::Create(id, nullptr, data, 0, port, value, nullptr)->Emit();
}

// Reading the back end costs a system call or two, so the per-query path reads it at most once
// a millisecond; PollJoysticks reads at once.
constexpr auto PUMP_INTERVAL = std::chrono::milliseconds(1);

void PumpNow(TJoystickModule& m) {
    static bool reading = false;  // an event hook that asks for a read gets the state as it stands
    if (reading || !m.backend) return;
    reading = true;
    m.lastPump = std::chrono::steady_clock::now();
    try {
        m.backend->Pump();
    } catch (...) {
        reading = false;
        throw;
    }
    reading = false;
}

void JoystickPoller(void*) {
    TJoystickModule& m = JoystickModule();
    if (m.backend && std::chrono::steady_clock::now() - m.lastPump >= PUMP_INTERVAL) PumpNow(m);
}

void StartBackend(TJoystickModule& m) {
    m.backend = CreateJoystickBackend();
    if (m.backend) {
        AddSystemPoller(JoystickPoller);
        PumpNow(m);  // controllers already attached show up at once
    }
}

// Outside the dead zone the travel is stretched back to the full range, so the value rises
// from 0 without a jump.
float ApplyDeadZone(float value, float zone) {
    if (!(value == value)) return 0.0f;  // NaN
    value = std::clamp(value, -1.0f, 1.0f);
    const float magnitude = std::fabs(value);
    if (magnitude <= zone) return 0.0f;
    const float scaled = std::min(1.0f, (magnitude - zone) / (1.0f - zone));
    return value < 0 ? -scaled : scaled;
}

constexpr int32_t HAT_OF_DPAD[4] = {JOY_HAT_UP, JOY_HAT_DOWN, JOY_HAT_LEFT, JOY_HAT_RIGHT};

}  // namespace

TJoystickModule& JoystickModule() {
    static TJoystickModule* module = new TJoystickModule;
    return *module;
}

void TJoystickModule::Reset() {
    RemoveSystemPoller(JoystickPoller);
    backend.reset();
    pads = {};
    deadZone = 0.2f;
    lastPump = {};
    if (started) StartBackend(*this);
}

void StartJoystickModule() {
    StartSystemModule();
    if (!BeginModuleStart("joystick")) return;
    TJoystickModule& m = JoystickModule();
    m.started = 1;
    StartBackend(m);
    // The back end's devices are let go before the process ends.
    AddExitHandler([] {
        RemoveSystemPoller(JoystickPoller);
        JoystickModule().backend.reset();
    });
}

int32_t JoystickBackendReady() { return JoystickModule().backend ? 1 : 0; }

// --- Reports from the back end ------------------------------------------------------------------

int32_t JoyPadAttach(const TString& name, int32_t mapped) {
    TJoystickModule& m = JoystickModule();
    for (int32_t port = 0; port < JOY_PORTS; ++port) {
        TJoyPad& pad = m.pads[static_cast<size_t>(port)];
        if (pad.connected) continue;
        pad = TJoyPad{};
        pad.connected = 1;
        pad.mapped = mapped ? 1 : 0;
        pad.name = name;
        Emit(EVENT_JOYCONNECT, port, 0, 0);
        return port;
    }
    return -1;
}

void JoyPadDetach(int32_t port) {
    if (!ValidPort(port)) return;
    TJoyPad& pad = JoystickModule().pads[static_cast<size_t>(port)];
    if (!pad.connected) return;
    // Whatever was held is released first, so no button stays down after the pad has gone.
    for (int32_t b = 0; b < JOY_BUTTONS; ++b)
        if (pad.down[static_cast<size_t>(b)]) JoyPadButton(port, b, false);
    if (pad.hat) JoyPadHat(port, 0);
    pad = TJoyPad{};
    Emit(EVENT_JOYDISCONNECT, port, 0, 0);
}

void JoyPadButton(int32_t port, int32_t button, bool down, bool emit) {
    if (!ValidPort(port) || !ValidButton(button)) return;
    TJoyPad& pad = JoystickModule().pads[static_cast<size_t>(port)];
    if (!pad.connected) return;
    int32_t& state = pad.down[static_cast<size_t>(button)];
    if (state == (down ? 1 : 0)) return;
    state = down ? 1 : 0;
    if (down) ++pad.hits[static_cast<size_t>(button)];
    if (emit) Emit(down ? EVENT_JOYBUTTONDOWN : EVENT_JOYBUTTONUP, port, button, 0);
    // A mapped pad's d-pad is also its hat.
    if (pad.mapped && button >= JOY_BUTTON_DPAD_UP && button <= JOY_BUTTON_DPAD_RIGHT) {
        const int32_t bit = HAT_OF_DPAD[button - JOY_BUTTON_DPAD_UP];
        JoyPadHat(port, down ? (pad.hat | bit) : (pad.hat & ~bit), emit);
    }
}

void JoyPadAxis(int32_t port, int32_t axis, float value, bool emit) {
    if (!ValidPort(port) || !ValidAxis(axis)) return;
    TJoystickModule& m = JoystickModule();
    TJoyPad& pad = m.pads[static_cast<size_t>(port)];
    if (!pad.connected) return;
    const float filtered = ApplyDeadZone(value, m.deadZone);
    float& stored = pad.axes[static_cast<size_t>(axis)];
    if (stored == filtered) return;
    stored = filtered;
    if (emit) Emit(EVENT_JOYAXISMOVE, port, axis, static_cast<int32_t>(std::lround(filtered * 1000.0f)));
}

void JoyPadHat(int32_t port, int32_t hat, bool emit) {
    if (!ValidPort(port)) return;
    TJoyPad& pad = JoystickModule().pads[static_cast<size_t>(port)];
    if (!pad.connected) return;
    hat &= JOY_HAT_UP | JOY_HAT_RIGHT | JOY_HAT_DOWN | JOY_HAT_LEFT;
    if (pad.hat == hat) return;
    pad.hat = hat;
    if (emit) Emit(EVENT_JOYHATMOVE, port, 0, hat);
}

// --- Queries ------------------------------------------------------------------------------------

int32_t JoyCount() {
    PollSystemEvents();
    const auto& pads = JoystickModule().pads;
    return static_cast<int32_t>(std::count_if(pads.begin(), pads.end(), [](const TJoyPad& p) { return p.connected; }));
}

int32_t JoyConnected(int32_t port) {
    PollSystemEvents();
    return ValidPort(port) ? JoystickModule().pads[static_cast<size_t>(port)].connected : 0;
}

TString JoyName(int32_t port) {
    PollSystemEvents();
    return ValidPort(port) ? JoystickModule().pads[static_cast<size_t>(port)].name : TString();
}

int32_t JoyMapped(int32_t port) {
    PollSystemEvents();
    return ValidPort(port) ? JoystickModule().pads[static_cast<size_t>(port)].mapped : 0;
}

int32_t JoyDown(int32_t port, int32_t button) {
    PollSystemEvents();
    if (!ValidPort(port) || !ValidButton(button)) return 0;
    return JoystickModule().pads[static_cast<size_t>(port)].down[static_cast<size_t>(button)];
}

int32_t JoyHits(int32_t port, int32_t button) {
    PollSystemEvents();
    if (!ValidPort(port) || !ValidButton(button)) return 0;
    int32_t& hits = JoystickModule().pads[static_cast<size_t>(port)].hits[static_cast<size_t>(button)];
    const int32_t result = hits;
    hits = 0;
    return result;
}

float JoyAxis(int32_t port, int32_t axis) {
    PollSystemEvents();
    if (!ValidPort(port) || !ValidAxis(axis)) return 0.0f;
    return JoystickModule().pads[static_cast<size_t>(port)].axes[static_cast<size_t>(axis)];
}

int32_t JoyHat(int32_t port) {
    PollSystemEvents();
    return ValidPort(port) ? JoystickModule().pads[static_cast<size_t>(port)].hat : 0;
}

void ClearJoys() {
    PollSystemEvents();
    for (TJoyPad& pad : JoystickModule().pads) {
        pad.down.fill(0);
        pad.hits.fill(0);
        pad.hat = 0;
    }
}

void SetJoyDeadZone(float zone) {
    if (!(zone == zone)) zone = 0.0f;
    JoystickModule().deadZone = std::clamp(zone, 0.0f, 0.95f);
}

float JoyDeadZone() { return JoystickModule().deadZone; }

int32_t AddJoyMappings(std::string_view text) {
    TJoystickModule& m = JoystickModule();
    return m.backend ? m.backend->AddMappings(text) : -1;
}

void PollJoysticks() {
    TJoystickModule& m = JoystickModule();
    PumpNow(m);
}

}  // namespace corvex

// Game controllers: how many are attached, their names, and each one's polled state, in the same
// shape as polled keyboard and mouse input (buttons held and hits counted, axes, the hat).
//
// Controllers sit in ports 0..JOY_PORTS-1: one that connects takes the lowest free port and keeps
// it until it disconnects, so two identical pads stay apart. Controllers the mapping database
// knows (Xbox, PlayStation, Switch Pro and common USB pads) read through the standard layout of
// the JOY_BUTTON_* and JOY_AXIS_* names; others report their raw buttons and axes by number
// (JoyMapped answers 0). Stick axes run from -1 (left, up) to 1 (right, down), triggers from 0 to
// 1; an axis inside the dead zone reads exactly 0. Every query first drains pending messages
// (PollSystemEvents), which also reads the controllers; a controller that disconnects releases
// everything it held. Changes also run down the event chain as EVENT_JOY* events (x the port).
// Without controllers, or where the back end cannot start, every port is empty. Main thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include <corvex/runtime/string.h>

namespace corvex {

constexpr int32_t JOY_PORTS = 16;    // ports 0..15
constexpr int32_t JOY_BUTTONS = 32;  // button numbers 0..31
constexpr int32_t JOY_AXES = 8;      // axis numbers 0..7

// --- The standard layout (button numbers of a mapped controller) -------------------------------
constexpr int32_t JOY_BUTTON_A = 0;              // bottom face button (Cross)
constexpr int32_t JOY_BUTTON_B = 1;              // right face button (Circle)
constexpr int32_t JOY_BUTTON_X = 2;              // left face button (Square)
constexpr int32_t JOY_BUTTON_Y = 3;              // top face button (Triangle)
constexpr int32_t JOY_BUTTON_BACK = 4;           // Back, Select, Share, Minus
constexpr int32_t JOY_BUTTON_GUIDE = 5;          // the maker's logo button
constexpr int32_t JOY_BUTTON_START = 6;          // Start, Options, Plus
constexpr int32_t JOY_BUTTON_LEFTSTICK = 7;      // left stick pressed in
constexpr int32_t JOY_BUTTON_RIGHTSTICK = 8;     // right stick pressed in
constexpr int32_t JOY_BUTTON_LEFTSHOULDER = 9;   // left bumper
constexpr int32_t JOY_BUTTON_RIGHTSHOULDER = 10; // right bumper
constexpr int32_t JOY_BUTTON_DPAD_UP = 11;       // d-pad up
constexpr int32_t JOY_BUTTON_DPAD_DOWN = 12;     // d-pad down
constexpr int32_t JOY_BUTTON_DPAD_LEFT = 13;     // d-pad left
constexpr int32_t JOY_BUTTON_DPAD_RIGHT = 14;    // d-pad right

// --- The standard layout (axis numbers of a mapped controller) ---------------------------------
constexpr int32_t JOY_AXIS_LEFTX = 0;         // left stick, -1 left .. 1 right
constexpr int32_t JOY_AXIS_LEFTY = 1;         // left stick, -1 up .. 1 down
constexpr int32_t JOY_AXIS_RIGHTX = 2;        // right stick, -1 left .. 1 right
constexpr int32_t JOY_AXIS_RIGHTY = 3;        // right stick, -1 up .. 1 down
constexpr int32_t JOY_AXIS_LEFTTRIGGER = 4;   // left trigger, 0 released .. 1 fully pulled
constexpr int32_t JOY_AXIS_RIGHTTRIGGER = 5;  // right trigger, 0 released .. 1 fully pulled

// --- Hat bits (JoyHat; the d-pad of a mapped controller) ---------------------------------------
constexpr int32_t JOY_HAT_UP = 1;     // pushed up
constexpr int32_t JOY_HAT_RIGHT = 2;  // pushed right
constexpr int32_t JOY_HAT_DOWN = 4;   // pushed down
constexpr int32_t JOY_HAT_LEFT = 8;   // pushed left

// --- Controllers -------------------------------------------------------------------------------
int32_t JoyCount();                 // controllers attached now
int32_t JoyConnected(int32_t port); // 1 when a controller sits in port
TString JoyName(int32_t port);      // its name ("Xbox 360 Controller"); "" for an empty port
int32_t JoyMapped(int32_t port);    // 1 when it reads through the standard layout, 0 raw or empty

// --- Polled state (out-of-range ports, buttons and axes answer 0) ------------------------------
int32_t JoyDown(int32_t port, int32_t button);  // 1 while the button is held
int32_t JoyHits(int32_t port, int32_t button);  // presses since the last call; resets to 0
float JoyAxis(int32_t port, int32_t axis);      // -1..1 (triggers 0..1), exactly 0 in the dead zone
int32_t JoyHat(int32_t port);                   // JOY_HAT_* bits held
void ClearJoys();                               // every button state and hit count to 0

// --- Settings ----------------------------------------------------------------------------------
void SetJoyDeadZone(float zone);  // 0..0.95 of an axis' travel reads 0 (default 0.2); clamped
float JoyDeadZone();              // the current dead zone
int32_t AddJoyMappings(std::string_view text);  // mapping-database lines; count added, -1 on error
void PollJoysticks();             // read the controllers now (queries do it at most once a ms)

// --- Start-up ----------------------------------------------------------------------------------
void StartJoystickModule();  // module "joystick"; starts "system" first, then the back end
int32_t JoystickBackendReady();  // 1 when the back end started (controllers can be seen)

}  // namespace corvex

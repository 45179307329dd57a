// Platforms without a controller back end yet: every port stays empty.
#include "joystick/joystick_module.h"

namespace corvex {

std::unique_ptr<TJoystickBackend> CreateJoystickBackend() { return nullptr; }

}  // namespace corvex

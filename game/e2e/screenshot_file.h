// Screenshots written as PNG files with the project's own encoder.
#pragma once

#include <string>

#include "game/e2e/x_session.h"

namespace e2e {

// Writes shot to path, creating missing folders; false when it cannot be written.
bool SaveScreenshot(const Screenshot& shot, const std::string& path);

}  // namespace e2e

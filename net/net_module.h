// The net module's state. In-tree code only.
#pragma once

#include <string>

#include <corvex/runtime/string.h>

namespace corvex {

// Records why a network call failed, for NetError() (per thread).
void SetNetError(std::string text);
void ClearNetError();

}  // namespace corvex

// The scripted input of a run, emitted on the event hook chain as a person's input would be, so
// the frame steps read it through the real polled-input path.
#pragma once

#include <cstdint>

#include "tools/physbox-sim/options.h"

namespace corvex {

void EmitRunStart(const SimOptions& o);                     // the pointer, before frame 1
void EmitBeforeFrame(const SimOptions& o, int32_t frame);   // Space, the left button going down
void EmitAfterFrame(const SimOptions& o, int32_t frame);    // the left button coming up

}  // namespace corvex

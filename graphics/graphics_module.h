// The graphics module's state: the current driver and context, the opened graphics and its pacer.
// In-tree code only.
#pragma once

#include <cstdint>

#include <corvex/graphics/graphics.h>
#include "graphics/pacer.h"

namespace corvex {

struct TGraphicsModule {
    double lastFlipSeconds = 0, flipIntervalSeconds = 0;  // when the last Flip returned, and the gap before it
    Ref<TGraphicsDriver> driver;
    int32_t defaultFlags = 0;
    TGraphicsModes modeCache;
    Ref<TGraphics> current;
    int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;  // settings of current
    Ref<TGraphics> opened;
    int32_t sequence = 1;
    TFramePacer pacer;
    int32_t flipHookId = -1;
    bool exitHandlerAdded = false;
    int32_t (*clock)() = nullptr;       // the millisecond clock and sleep the pacer uses
    void (*sleep)(int32_t ms) = nullptr;
    TGraphicsModule();
    void Reset();                       // for tests: forgets driver and contexts (closes nothing), system clock
};
TGraphicsModule& GraphicsModule();

int32_t NextGraphicsSequence(int32_t sequence);  // sequence + 1, skipping 0

}  // namespace corvex

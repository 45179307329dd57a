// The WGL driver's native state: the shared context, the window contexts, the full-screen holder.
// In-tree code only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/wgl/native.h"

namespace corvex::wgl {

struct TWGLModule {
    bool classRegistered = false;
    TGLContextRecord shared;                               // the hidden context every context shares with
    bool sharedMade = false;
    std::vector<std::unique_ptr<TGLContextRecord>> list;   // live window contexts, newest first
    TGLContextRecord* current = nullptr;                   // last made current here
    TGLContextRecord* fullScreen = nullptr;                // the window holding a changed display mode
    TGLContextRecord* creating = nullptr;                  // a window being made: its focus waits
    bool exitRestoreRegistered = false;
    int32_t rememberedSync = -1;                           // last sync given to the swap interval by Flip
    int32_t swapIntervalCalls = 0;                         // how often the swap interval was set
    int32_t lastSwapInterval = -1;
    int32_t modeSwitches = 0;                              // display modes set, and restored
    int32_t modeRestores = 0;
    void Reset();  // for tests: Flip's swap-interval memory and the counters as at start-up
};
TWGLModule& WGLModule();

}  // namespace corvex::wgl

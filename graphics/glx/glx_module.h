// The GL driver's native state: the shared context, the window contexts, the full-screen holder.
// In-tree code only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/glx/native.h"

namespace corvex::glx {

struct TGLXModule {
    TGLContextRecord shared;                               // the hidden context every context shares with
    bool sharedMade = false;
    std::vector<std::unique_ptr<TGLContextRecord>> list;   // live window contexts, newest first
    TGLContextRecord* current = nullptr;                   // last made current here
    TGLContextRecord* fullScreen = nullptr;                // the window holding a changed display mode
    int32_t rememberedSync = -1;                           // last sync given to the swap interval by Flip
    int32_t swapIntervalCalls = 0;                         // how often the swap interval was set
    int32_t lastSwapInterval = -1;
    GLXDrawable lastSwapDrawable = 0;                      // the drawable it was set for
    void Reset();  // for tests: Flip's swap-interval memory as at start-up (contexts stay: they are X's)
};
TGLXModule& GLXModule();

}  // namespace corvex::glx

// The offscreen driver's state: the EGL display, the shared context, the live contexts, and the
// seams through which tests make EGL fail. In-tree code only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "graphics/egl/native.h"

namespace corvex::egl {

struct TEGLModule {
    bool tried = false;                                    // Initialise ran
    bool usable = false;
    std::string problem;                                   // why EGL cannot be used; empty when it can
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;                            // of the shared context
    EGLContext shared = EGL_NO_CONTEXT;
    int32_t maxSize = 0;                                   // largest buffer width and height
    std::vector<std::unique_ptr<TEGLContextRecord>> list;  // live contexts, newest first
    TEGLContextRecord* current = nullptr;                  // last made current here
    bool exiting = false;                                  // the process is ending: EGL may be torn down
    // Seams for tests, read by the first Initialise.
    EGLenum platform = EGL_PLATFORM_SURFACELESS_MESA;      // the platform asked of EGL
    bool failInitialise = false;                           // eglInitialize behaves as if it failed
    // For tests: forgets the display, the contexts (without closing them) and the seams, so the
    // next Initialise starts afresh.
    void Reset();
};
TEGLModule& EGLModule();

}  // namespace corvex::egl

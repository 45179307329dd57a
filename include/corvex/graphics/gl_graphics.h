// The OpenGL graphics driver on GLX (WGL on Windows): windows with OpenGL contexts that share
// textures with one hidden context, full-screen display modes through XRandR (ChangeDisplaySettings
// on Windows), buffer swaps with or without vertical-blank waits. No X11, GLX or Win32 header is
// needed to use it.
#pragma once

#include <corvex/graphics/gl_context_driver.h>

namespace corvex {

namespace glx {
struct TGLContextRecord;
}
namespace wgl {
struct TGLContextRecord;
}
#ifdef _WIN32
using TGLNativeContext = wgl::TGLContextRecord;  // the native layer's record of one context
#else
using TGLNativeContext = glx::TGLContextRecord;  // the native layer's record of one context
#endif

// A window (or adopted window) with its OpenGL context.
class TGLGraphics : public TGraphics {
public:
    TGLGraphics() = default;  // closed until the driver gives it a context
    ~TGLGraphics() override;  // closes the context and its own window when the program has not
    TGLGraphics(const TGLGraphics&) = delete;
    TGLGraphics& operator=(const TGLGraphics&) = delete;
    Ref<TGraphicsDriver> Driver() override;  // the one TGLGraphicsDriver
    void GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) override;  // as opened; all 0 once closed
    void Close() override;                   // closes the context and its own window; twice does nothing
    int32_t TakeNewSize(int32_t* width, int32_t* height) override;  // a GFX_RESIZABLE window's new size, once
    TGLNativeContext* _context = nullptr;  // nullptr once closed
};

// The OpenGL graphics driver: one instance, GLGraphicsDriver().
class TGLGraphicsDriver : public TGLContextDriver {
public:
    TGraphicsModes GraphicsModes() override;  // XRandR modes of the primary monitor
    // Adopts an existing X window (its id); the window stays its creator's, and so do its events.
    Ref<TGraphics> AttachGraphics(uintptr_t window, int32_t flags) override;
    // depth 0: a window whose client area is at (32, 32), fixed in size unless GFX_RESIZABLE;
    // else full screen.
    Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) override;
    void SetGraphics(const Ref<TGraphics>& graphics) override;  // makes its context current
    void Flip(int32_t sync) override;         // swaps; the swap interval changes only when sync does
    void SwapSharedContext() override;        // shared context current, or back to the current graphics
    void* GLProcAddress(const char* name) override;  // glXGetProcAddress (wglGetProcAddress on Windows)
};

Ref<TGLGraphicsDriver> GLGraphicsDriver();   // the one instance
void StartGLGraphicsModule();                // module "glgraphics": selects the driver with GFX_DOUBLE_BUFFER,
                                             // registers the embedded "gldrawtextfont.bin" (1536 bytes)

}  // namespace corvex

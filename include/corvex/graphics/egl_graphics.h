// The offscreen OpenGL graphics driver on EGL (Mesa's surfaceless platform): contexts that draw
// into offscreen buffers without any display, sharing their textures with one hidden context
// just as the GLX driver's windows do. A program selects it explicitly; nothing selects it on
// its own. No X11 or EGL header is needed to use it.
//
// Every context draws into an offscreen buffer of its own size (a pbuffer, laid out as a window's
// pixels are); double-buffered ones draw into the back buffer and Flip copies it to the front
// buffer, which is what ReadFront returns. Flip with
// a non-zero sync waits for the next tick of a simulated vertical blank at the context's hertz
// (60 when 0). No window events come from these contexts: polled input answers only from events
// the program emits itself.
#pragma once

#include <corvex/graphics/gl_context_driver.h>
#include <corvex/pixmap/pixmap.h>

namespace corvex {

namespace egl {
struct TEGLContextRecord;  // the native record of one context
}

// An offscreen buffer with its OpenGL context.
class TEGLGraphics : public TGraphics {
public:
    TEGLGraphics() = default;  // closed until the driver gives it a context
    ~TEGLGraphics() override;  // closes the context when the program has not
    TEGLGraphics(const TEGLGraphics&) = delete;
    TEGLGraphics& operator=(const TEGLGraphics&) = delete;
    Ref<TGraphicsDriver> Driver() override;  // the one TEGLGraphicsDriver
    // The size, depth, hertz and flags it was made with; zeros once closed.
    void GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) override;
    void Close() override;                   // releases context and buffers; twice does nothing
    // Asks a GFX_RESIZABLE context for a buffer of a new size, as a user resizes a window: the
    // next Flip takes it (buffers start black). 0 when not resizable, closed or a bad size.
    int32_t Resize(int32_t width, int32_t height);
    int32_t TakeNewSize(int32_t* width, int32_t* height) override;  // the size Resize asked for, once
    // The last presented frame (the front buffer), row 0 at the top, RGBA8888; Null once closed.
    // A single-buffered context presents what has been drawn so far.
    Ref<TPixmap> ReadFront();
    egl::TEGLContextRecord* _context = nullptr;  // nullptr once closed
};

// The offscreen driver: contexts without windows, textures shared with one hidden context.
class TEGLGraphicsDriver : public TGLContextDriver {
public:
    TGraphicsModes GraphicsModes() override;  // common sizes up to the largest buffer, at 16, 24 and 32 bits
    Ref<TGraphics> AttachGraphics(uintptr_t window, int32_t flags) override;  // always Null: no windows
    // Any size from 1 x 1 up to the largest buffer; depth 0, 16, 24 or 32. An accumulation
    // buffer, a bad size or no usable EGL raises an error (the front end then yields Null).
    Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) override;
    void SetGraphics(const Ref<TGraphics>& graphics) override;  // makes its context current
    void Flip(int32_t sync) override;         // back to front; non-zero sync waits for the simulated blank
    void SwapSharedContext() override;        // shared context current, or back to the current graphics
    void* GLProcAddress(const char* name) override;  // through eglGetProcAddress
};

Ref<TEGLGraphicsDriver> EGLGraphicsDriver();  // the one instance
// Whether EGL with the surfaceless platform can be used here (tried once, on first demand);
// when not, EGLGraphicsProblem() says why.
bool EGLGraphicsAvailable();
TString EGLGraphicsProblem();                 // empty while no problem is known
void StartEGLGraphicsModule();                // module "eglgraphics": registers the types, selects nothing

}  // namespace corvex

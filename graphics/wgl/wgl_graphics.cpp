// The object layer of the OpenGL graphics driver on Windows: TGLGraphics and TGLGraphicsDriver
// over the WGL native layer, as gl_graphics.cpp is over the GLX one.
#include <corvex/graphics/gl_graphics.h>

#include "graphics/wgl/native.h"
#include <corvex/runtime/module.h>
#include <corvex/stream/stream.h>
#include "stream/fontbits.h"
#include "system/win32/win32_driver.h"

namespace corvex {

TGLGraphics::~TGLGraphics() {
    if (_context) wgl::CloseContext(_context);  // a record already closed is ignored
}

namespace {
std::function<void()>& PendingDrawingFlush() {
    static std::function<void()>* flush = new std::function<void()>;
    return *flush;
}
}  // namespace

void SetGLPendingDrawingFlush(std::function<void()> flush) { PendingDrawingFlush() = std::move(flush); }

void FlushPendingGLDrawing() {
    if (PendingDrawingFlush()) PendingDrawingFlush()();
}

Ref<TGraphicsDriver> TGLGraphics::Driver() { return GLGraphicsDriver(); }

void TGLGraphics::GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) {
    if (!_context) {
        *width = *height = *depth = *hertz = *flags = 0;
        return;
    }
    wgl::GetSettings(_context, width, height, depth, hertz, flags);
}

int32_t TGLGraphics::TakeNewSize(int32_t* width, int32_t* height) {
    return _context && wgl::TakeNewSize(_context, width, height) ? 1 : 0;
}

void TGLGraphics::Close() {
    if (!_context) return;
    wgl::CloseContext(_context);
    _context = nullptr;
}

TGraphicsModes TGLGraphicsDriver::GraphicsModes() {
    TGraphicsModes modes;
    for (const wgl::TDisplayMode& m : wgl::EnumerateModes()) {
        modes.push_back(TGraphicsMode::Create(m.width, m.height, m.depth, m.hertz));
    }
    return modes;
}

namespace {
Ref<TGraphics> Wrap(wgl::TGLContextRecord* record) {
    if (!record) return nullptr;
    auto graphics = std::make_shared<TGLGraphics>();
    graphics->_context = record;
    return graphics;
}
}  // namespace

Ref<TGraphics> TGLGraphicsDriver::AttachGraphics(uintptr_t window, int32_t flags) {
    return Wrap(wgl::AttachContext(reinterpret_cast<HWND>(window), flags));
}

Ref<TGraphics> TGLGraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                                 int32_t flags) {
    return Wrap(wgl::CreateWindowContext(width, height, depth, hertz, flags));
}

void TGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& graphics) {
    auto* gl = dynamic_cast<TGLGraphics*>(graphics.get());
    wgl::MakeCurrent(gl ? gl->_context : nullptr);
}

void TGLGraphicsDriver::Flip(int32_t sync) { wgl::FlipCurrent(sync); }

void TGLGraphicsDriver::SwapSharedContext() { wgl::SwapShared(); }

void* TGLGraphicsDriver::GLProcAddress(const char* name) {
    // Some drivers answer 1, 2, 3 or -1 instead of null for what they do not have.
    auto proc = reinterpret_cast<intptr_t>(wglGetProcAddress(name));
    return proc >= -1 && proc <= 3 ? nullptr : reinterpret_cast<void*>(proc);
}

Ref<TGLGraphicsDriver> GLGraphicsDriver() {
    static Ref<TGLGraphicsDriver> driver = std::make_shared<TGLGraphicsDriver>();
    return driver;
}

void StartGLGraphicsModule() {
    StartGraphicsModule();
    StartStreamModule();
    win32::StartWin32SystemModule();
    if (!BeginModuleStart("glgraphics")) return;
    // The module's own copy of the built-in font, for text drawn straight through OpenGL.
    RegisterIncbin("gldrawtextfont.bin", kBuiltinFontBits, kBuiltinFontSize);
    RegisterType("TGLGraphics", "TGraphics");
    RegisterType("TGLGraphicsDriver", "TGraphicsDriver");
    SelectGraphicsDriver(GLGraphicsDriver(), GFX_DOUBLE_BUFFER);
}

}  // namespace corvex

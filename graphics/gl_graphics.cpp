#include <corvex/graphics/gl_graphics.h>

#include "graphics/glx/native.h"
#include <corvex/runtime/module.h>
#include <corvex/stream/stream.h>
#include "stream/fontbits.h"
#include "system/x11/x11_driver.h"

namespace corvex {

TGLGraphics::~TGLGraphics() {
    if (_context) glx::DropContext(_context);
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
    glx::GetSettings(_context, width, height, depth, hertz, flags);
}

int32_t TGLGraphics::TakeNewSize(int32_t* width, int32_t* height) {
    return _context && glx::TakeNewSize(_context, width, height) ? 1 : 0;
}

void TGLGraphics::Close() {
    if (!_context) return;
    glx::CloseContext(_context);
    _context = nullptr;
}

TGraphicsModes TGLGraphicsDriver::GraphicsModes() {
    TGraphicsModes modes;
    for (const glx::TDisplayMode& m : glx::EnumerateModes()) {
        modes.push_back(TGraphicsMode::Create(m.width, m.height, m.depth, m.hertz));
    }
    return modes;
}

namespace {
Ref<TGraphics> Wrap(glx::TGLContextRecord* record) {
    if (!record) return nullptr;
    auto graphics = std::make_shared<TGLGraphics>();
    graphics->_context = record;
    return graphics;
}
}  // namespace

Ref<TGraphics> TGLGraphicsDriver::AttachGraphics(uintptr_t window, int32_t flags) {
    return Wrap(glx::AttachContext(static_cast<Window>(window), flags));
}

Ref<TGraphics> TGLGraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                                 int32_t flags) {
    return Wrap(glx::CreateWindowContext(width, height, depth, hertz, flags));
}

void TGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& graphics) {
    auto* gl = dynamic_cast<TGLGraphics*>(graphics.get());
    glx::MakeCurrent(gl ? gl->_context : nullptr);
}

void TGLGraphicsDriver::Flip(int32_t sync) { glx::FlipCurrent(sync); }

void TGLGraphicsDriver::SwapSharedContext() { glx::SwapShared(); }
void* TGLGraphicsDriver::GLProcAddress(const char* name) { return glx::ProcAddress(name); }

Ref<TGLGraphicsDriver> GLGraphicsDriver() {
    static Ref<TGLGraphicsDriver> driver = std::make_shared<TGLGraphicsDriver>();
    return driver;
}

void StartGLGraphicsModule() {
    StartGraphicsModule();
    StartStreamModule();
    x11::StartX11SystemModule();
    if (!BeginModuleStart("glgraphics")) return;
    // The module's own copy of the built-in font, for text drawn straight through OpenGL.
    RegisterIncbin("gldrawtextfont.bin", kBuiltinFontBits, kBuiltinFontSize);
    RegisterType("TGLGraphics", "TGraphics");
    RegisterType("TGLGraphicsDriver", "TGraphicsDriver");
    SelectGraphicsDriver(GLGraphicsDriver(), GFX_DOUBLE_BUFFER);
}

}  // namespace corvex

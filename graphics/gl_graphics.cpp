// The object layer of the OpenGL graphics driver: TGLGraphics and TGLGraphicsDriver over the
// native window-and-context layer, GLX on X11 and WGL on Windows (same calls in both).
#include <corvex/graphics/gl_graphics.h>

#include <corvex/runtime/module.h>
#include <corvex/stream/stream.h>
#include "stream/fontbits.h"
#ifdef _WIN32
#include "graphics/wgl/native.h"
#include "system/win32/win32_driver.h"
#else
#include "graphics/glx/native.h"
#include "system/x11/x11_driver.h"
#endif

namespace corvex {

namespace {
#ifdef _WIN32
namespace native = wgl;
HWND NativeWindow(uintptr_t window) { return reinterpret_cast<HWND>(window); }
void StartWindowSystem() { win32::StartWin32SystemModule(); }
#else
namespace native = glx;
Window NativeWindow(uintptr_t window) { return static_cast<Window>(window); }
void StartWindowSystem() { x11::StartX11SystemModule(); }
#endif
}  // namespace

TGLGraphics::~TGLGraphics() {
    if (_context) native::DropContext(_context);
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
    native::GetSettings(_context, width, height, depth, hertz, flags);
}

// The native layer notes a resizable window's new size as it arrives; it is taken here, between frames.
int32_t TGLGraphics::TakeNewSize(int32_t* width, int32_t* height) {
    TGLNativeContext* record = _context;
    if (!record || !record->resized || record->newWidth <= 0 || record->newHeight <= 0) return 0;
    record->resized = false;
    record->width = *width = record->newWidth;
    record->height = *height = record->newHeight;
    return 1;
}

void TGLGraphics::Close() {
    if (!_context) return;
    native::CloseContext(_context);
    _context = nullptr;
}

TGraphicsModes TGLGraphicsDriver::GraphicsModes() {
    TGraphicsModes modes;
    for (const native::TDisplayMode& m : native::EnumerateModes()) {
        modes.push_back(TGraphicsMode::Create(m.width, m.height, m.depth, m.hertz));
    }
    return modes;
}

namespace {
Ref<TGraphics> Wrap(native::TGLContextRecord* record) {
    if (!record) return nullptr;
    auto graphics = std::make_shared<TGLGraphics>();
    graphics->_context = record;
    return graphics;
}
}  // namespace

Ref<TGraphics> TGLGraphicsDriver::AttachGraphics(uintptr_t window, int32_t flags) {
    return Wrap(native::AttachContext(NativeWindow(window), flags));
}

Ref<TGraphics> TGLGraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                                 int32_t flags) {
    return Wrap(native::CreateWindowContext(width, height, depth, hertz, flags));
}

void TGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& graphics) {
    auto* gl = dynamic_cast<TGLGraphics*>(graphics.get());
    native::MakeCurrent(gl ? gl->_context : nullptr);
}

void TGLGraphicsDriver::Flip(int32_t sync) { native::FlipCurrent(sync); }

void TGLGraphicsDriver::SwapSharedContext() { native::SwapShared(); }
void* TGLGraphicsDriver::GLProcAddress(const char* name) { return native::ProcAddress(name); }

Ref<TGLGraphicsDriver> GLGraphicsDriver() {
    static Ref<TGLGraphicsDriver> driver = std::make_shared<TGLGraphicsDriver>();
    return driver;
}

void StartGLGraphicsModule() {
    StartGraphicsModule();
    StartStreamModule();
    StartWindowSystem();
    if (!BeginModuleStart("glgraphics")) return;
    // The module's own copy of the built-in font, for text drawn straight through OpenGL.
    RegisterIncbin("gldrawtextfont.bin", kBuiltinFontBits, kBuiltinFontSize);
    RegisterType("TGLGraphics", "TGraphics");
    RegisterType("TGLGraphicsDriver", "TGraphicsDriver");
    SelectGraphicsDriver(GLGraphicsDriver(), GFX_DOUBLE_BUFFER);
}

}  // namespace corvex

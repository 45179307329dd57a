#include <corvex/graphics/egl_graphics.h>

#include <cstring>

#include "graphics/egl/native.h"
#include <corvex/runtime/module.h>

namespace corvex {

TEGLGraphics::~TEGLGraphics() {
    if (_context) egl::DropContext(_context);
}

Ref<TGraphicsDriver> TEGLGraphics::Driver() { return EGLGraphicsDriver(); }

void TEGLGraphics::GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) {
    if (!_context) {
        *width = *height = *depth = *hertz = *flags = 0;
        return;
    }
    *width = _context->width;
    *height = _context->height;
    *depth = _context->depth;
    *hertz = _context->hertz;
    *flags = _context->flags;
}

int32_t TEGLGraphics::Resize(int32_t width, int32_t height) {
    if (!_context || !(_context->flags & GFX_RESIZABLE)) return 0;
    if (width < 1 || height < 1 || width > egl::MaxBufferSize() || height > egl::MaxBufferSize()) return 0;
    _context->newWidth = width;
    _context->newHeight = height;
    _context->resized = width != _context->width || height != _context->height;
    return 1;
}

int32_t TEGLGraphics::TakeNewSize(int32_t* width, int32_t* height) {
    if (!_context || !_context->resized) return 0;
    _context->resized = false;
    if (!egl::ResizeBuffers(_context, _context->newWidth, _context->newHeight)) return 0;
    *width = _context->width;
    *height = _context->height;
    return 1;
}

void TEGLGraphics::Close() {
    if (!_context) return;
    egl::CloseContext(_context);
    _context = nullptr;
}

Ref<TPixmap> TEGLGraphics::ReadFront() {
    // Single-buffered, the front buffer is the one drawn into: what is drawn so far includes the
    // drawing the back end still holds.
    if (_context && !(_context->flags & GFX_DOUBLE_BUFFER)) FlushPendingGLDrawing();
    std::vector<uint8_t> rgba;
    if (!_context || !egl::ReadFront(_context, rgba)) return nullptr;
    const int w = _context->width, h = _context->height;
    Ref<TPixmap> picture = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
    // OpenGL reads bottom row first.
    for (int y = 0; y < h; ++y) {
        std::memcpy(picture->pixels + static_cast<size_t>(y) * picture->pitch,
                    rgba.data() + static_cast<size_t>(h - 1 - y) * w * 4, static_cast<size_t>(w) * 4);
    }
    return picture;
}

TGraphicsModes TEGLGraphicsDriver::GraphicsModes() {
    static constexpr int32_t kSizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1280, 720},
                                            {1280, 1024}, {1920, 1080}, {2560, 1440}, {3840, 2160}};
    TGraphicsModes modes;
    const int32_t largest = egl::MaxBufferSize();
    for (int32_t depth : {16, 24, 32}) {
        for (const auto& size : kSizes) {
            if (size[0] <= largest && size[1] <= largest) {
                modes.push_back(TGraphicsMode::Create(size[0], size[1], depth, 60));
            }
        }
    }
    return modes;
}

Ref<TGraphics> TEGLGraphicsDriver::AttachGraphics(uintptr_t, int32_t) { return nullptr; }

Ref<TGraphics> TEGLGraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                                  int32_t flags) {
    egl::TEGLContextRecord* record = egl::CreateContext(width, height, depth, hertz, flags);
    auto graphics = std::make_shared<TEGLGraphics>();
    graphics->_context = record;
    return graphics;
}

void TEGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& graphics) {
    auto* g = dynamic_cast<TEGLGraphics*>(graphics.get());
    egl::MakeCurrent(g ? g->_context : nullptr);
}

void TEGLGraphicsDriver::Flip(int32_t sync) { egl::FlipCurrent(sync); }

void TEGLGraphicsDriver::SwapSharedContext() { egl::SwapShared(); }
void* TEGLGraphicsDriver::GLProcAddress(const char* name) { return egl::ProcAddress(name); }

Ref<TEGLGraphicsDriver> EGLGraphicsDriver() {
    static Ref<TEGLGraphicsDriver>* driver = new Ref<TEGLGraphicsDriver>(std::make_shared<TEGLGraphicsDriver>());
    return *driver;
}

bool EGLGraphicsAvailable() { return egl::Initialise(); }

TString EGLGraphicsProblem() { return FromUtf8(egl::Problem()); }

void StartEGLGraphicsModule() {
    StartGraphicsModule();
    if (!BeginModuleStart("eglgraphics")) return;
    RegisterType("TEGLGraphics", "TGraphics");
    RegisterType("TEGLGraphicsDriver", "TGraphicsDriver");
}

}  // namespace corvex

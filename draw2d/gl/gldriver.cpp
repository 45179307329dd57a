#include <corvex/draw2d/gl/gldriver.h>
#include "draw2d/gl/glframe.h"
#include "draw2d/gl/glrender.h"

#include <corvex/graphics/gl_graphics.h>
#include <corvex/runtime/module.h>
#include <corvex/system/entry.h>
#include <corvex/stream/stream.h>

namespace corvex {

namespace {

Ref<TGLContextDriver> GLDriver() { return GLZeph2DContextDriver(); }

}  // namespace

Ref<TGLContextDriver> GLZeph2DContextDriver() {
    Ref<TGLContextDriver>& chosen = GLZeph2DModule().context_driver;
    if (!chosen) chosen = GLGraphicsDriver();
    return chosen;
}

void SetGLZeph2DContextDriver(const Ref<TGLContextDriver>& driver) {
    Ref<TGLContextDriver> next = driver ? driver : Ref<TGLContextDriver>(GLGraphicsDriver());
    Ref<TGLContextDriver> previous = GLZeph2DContextDriver();
    if (next == previous) return;
    CloseOpenedGraphics();
    // Only one window system may have a context current on a thread at a time.
    if (GraphicsDriver() == GLZeph2DDriver()) SetGraphics(nullptr);
    TZeph2DGraphics::ClearCurrent();
    previous->SetGraphics(nullptr);
    GLZeph2DModule().context_driver = next;
    SelectGraphicsDriver(nullptr, 0);
    SelectGraphicsDriver(GLZeph2DDriver(), GFX_DOUBLE_BUFFER);
}

// Runs body with the shared texture context current, then switches back.
void WithSharedContext(const std::function<void()>& body) {
    GLFlush();  // the pending run belongs to the context being left
    Ref<TGLContextDriver> gl = GLDriver();
    gl->SwapSharedContext();
    try {
        body();
    } catch (...) {
        gl->SwapSharedContext();
        throw;
    }
    gl->SwapSharedContext();
}

// ---- Contexts

TGraphicsModes TGLZeph2DDriver::GraphicsModes() { return GLDriver()->GraphicsModes(); }

Ref<TGraphics> TGLZeph2DDriver::AttachGraphics(uintptr_t window, int32_t flags) {
    Ref<TGraphics> g = GLDriver()->AttachGraphics(window, flags);
    if (!g) return nullptr;
    return TZeph2DGraphics::Create(g, GLZeph2DDriver());
}

Ref<TGraphics> TGLZeph2DDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                               int32_t flags) {
    Ref<TGraphics> g = GLDriver()->CreateGraphics(width, height, depth, hertz, flags);
    if (!g) return nullptr;
    return TZeph2DGraphics::Create(g, GLZeph2DDriver());
}

void TGLZeph2DDriver::SetGraphics(const Ref<TGraphics>& graphics) {
    GLFlush();  // into the context that is current until now
    auto t = std::dynamic_pointer_cast<TZeph2DGraphics>(graphics);
    if (!t) {
        TZeph2DGraphics::ClearCurrent();
        GLDriver()->SetGraphics(nullptr);
        return;
    }
    GLDriver()->SetGraphics(t->_graphics);
    ResetGLContext(t);
    t->MakeCurrent();
}

void TGLZeph2DDriver::Flip(int32_t sync) {
    GLFlush();
    GLDriver()->Flip(sync);
}

void TGLZeph2DDriver::FlushDrawing() { GLFlush(); }

void TGLZeph2DDriver::ResetGLContext(const Ref<TZeph2DGraphics>& graphics) {
    int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    graphics->GetSettings(&width, &height, &depth, &hertz, &flags);
    GLResetContextState(width, height);
}

// ---- Drawing

Ref<TImageFrame> TGLZeph2DDriver::CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) {
    Ref<TGLImageFrame> frame;
    WithSharedContext([&] { frame = TGLImageFrame::CreateFromPixmap(pixmap, flags); });
    return frame;
}

void TGLZeph2DDriver::SetBlend(int mode) { GLSetBlend(mode); }
void TGLZeph2DDriver::SetAlpha(float alpha) { GLSetAlpha(alpha); }
void TGLZeph2DDriver::SetLineWidth(float width) { GLSetLineWidth(width); }
void TGLZeph2DDriver::SetColor(int red, int green, int blue) { GLSetColor(red, green, blue); }
void TGLZeph2DDriver::SetClsColor(int red, int green, int blue) { GLSetClsColor(red, green, blue); }

void TGLZeph2DDriver::SetViewport(int x, int y, int width, int height) {
    GLSetViewport(x, y, width, height, CurrentGraphicsWidth(), CurrentGraphicsHeight());
}

void TGLZeph2DDriver::SetTransform(float ix, float iy, float jx, float jy) { GLSetTransform(ix, iy, jx, jy); }
void TGLZeph2DDriver::Cls() { GLCls(); }
void TGLZeph2DDriver::Plot(float x, float y) { GLPlot(x, y); }

void TGLZeph2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDrawLine(x0, y0, x1, y1, tx, ty);
}

void TGLZeph2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDrawRect(x0, y0, x1, y1, tx, ty);
}

void TGLZeph2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDrawOval(x0, y0, x1, y1, tx, ty);
}

void TGLZeph2DDriver::DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y, float origin_x,
                               float origin_y) {
    GLDrawPoly(xy.data(), xy.size(), handle_x, handle_y, origin_x, origin_y);
}

void TGLZeph2DDriver::DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) {
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return;
    GLFlush();
    int blend = GLZeph2DModule().blend_mode;
    GLDisableTex();
    GLSetBlend(BLEND_SOLID);
    Ref<TPixmap> p = MirrorPixmapY(pixmap);
    if (p->format != FORMAT_RGBA8888) p = p->Convert(FORMAT_RGBA8888);
    TGLFunctions& gl = GLFunctions();
    gl.RasterPos2i(0, 0);
    gl.Bitmap(0, 0, 0, 0, float(x), float(-y - p->height), nullptr);
    gl.DrawPixels(p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);  // RGBA rows are tight
    GLSetBlend(blend);
}

Ref<TPixmap> TGLZeph2DDriver::GrabPixmap(int x, int y, int width, int height) {
    GLFlush();
    int blend = GLZeph2DModule().blend_mode;
    GLSetBlend(BLEND_SOLID);
    Ref<TPixmap> p = TPixmap::Create(width, height, FORMAT_RGBA8888, 4);
    TGLFunctions& gl = GLFunctions();
    gl.ReadPixels(x, CurrentGraphicsHeight() - height - y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    GLSetBlend(blend);
    return MirrorPixmapY(p);
}

// ---- Module

Ref<TGLZeph2DDriver> GLZeph2DDriver() {
    static Ref<TGLZeph2DDriver>* driver = new Ref<TGLZeph2DDriver>(std::make_shared<TGLZeph2DDriver>());
    return *driver;
}

void StartGLZeph2DModule() {
    StartDraw2DModule();
    StartGLGraphicsModule();
    if (!BeginModuleStart("draw2d.gl")) return;
    // Registered before any graphics are opened, so it runs after they are closed at exit.
    AddExitHandler([] { GLZeph2DModule().exiting = true; });
    // A single-buffered offscreen context presents the run not yet drawn when it is read.
    SetGLPendingDrawingFlush(GLFlush);
    SelectGraphicsDriver(GLZeph2DDriver(), GFX_DOUBLE_BUFFER);
}

}  // namespace corvex

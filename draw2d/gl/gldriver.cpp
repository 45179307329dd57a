#include <corvex/draw2d/gl/gldriver.h>
#include "draw2d/gl/glframe.h"
#include "draw2d/gl/glrender.h"
#include "draw2d/draw2d_module.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <corvex/graphics/gl_graphics.h>
#include <corvex/runtime/module.h>
#include <corvex/system/entry.h>
#include <corvex/stream/stream.h>

namespace corvex {

namespace {

Ref<TGLContextDriver> GLDriver() { return GLZeph2DContextDriver(); }

// The window's projection for its virtual resolution: virtual units over the picture.
void ApplyVirtualProjection() {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (s.virtual_w <= 0 || s.target) return;
    const int ww = CurrentGraphicsWidth(), wh = CurrentGraphicsHeight();
    int* p = s.picture;
    VirtualPicture(ww, wh, s.virtual_w, s.virtual_h, p[0], p[1], p[2], p[3]);
    TGLFunctions& gl = GLFunctions();
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, s.virtual_w, s.virtual_h, 0, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.Viewport(p[0], wh - p[1] - p[3], p[2], p[3]);
}

// Paints the bars beside the picture black; the picture itself is never touched.
void ClearBars() {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (s.virtual_w <= 0 || s.target) return;
    GLFlush();
    const int ww = CurrentGraphicsWidth(), wh = CurrentGraphicsHeight();
    const int* p = s.picture;
    // Left, right, top and bottom, as GL boxes (rows counted up from the bottom).
    const int boxes[4][4] = {{0, 0, p[0], wh},
                             {p[0] + p[2], 0, ww - p[0] - p[2], wh},
                             {p[0], wh - p[1], p[2], p[1]},
                             {p[0], 0, p[2], wh - p[1] - p[3]}};
    TGLFunctions& gl = GLFunctions();
    gl.Enable(GL_SCISSOR_TEST);
    gl.ClearColor(0, 0, 0, 1);
    for (const auto& b : boxes) {
        if (b[2] <= 0 || b[3] <= 0) continue;
        gl.Scissor(b[0], b[1], b[2], b[3]);
        gl.Clear(GL_COLOR_BUFFER_BIT);
    }
    gl.ClearColor(s.cls_color[0], s.cls_color[1], s.cls_color[2], 1.0f);
    const int* v = s.viewport;
    GLZeph2DDriver()->SetViewport(v[0], v[1], v[2], v[3]);
}

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
    // A render image drawn into gets its pixels back while its context is still current.
    if (Draw2DModule().target) LeaveRenderImage(false);
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
    ClearBars();  // the next frame's, before anything is drawn in it
}

void TGLZeph2DDriver::GraphicsResized(const Ref<TGraphics>& graphics) {
    auto t = std::dynamic_pointer_cast<TZeph2DGraphics>(graphics);
    // A render image being drawn into takes the window's new size when drawing returns to it.
    if (!t || Draw2DModule().target || Draw2DModule().current != t) return;
    GLFlush();
    ResetGLContext(t);
    t->Validate();
    ClearBars();
}

void TGLZeph2DDriver::SetVirtualResolution(int width, int height) {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (width < 1 || height < 1) width = height = 0;
    if (width == s.virtual_w && height == s.virtual_h) return;
    GLFlush();
    s.virtual_w = width;
    s.virtual_h = height;
    if (s.target) return;  // taken up when drawing returns to the window
    if (width == 0) {
        // Window pixels again, over the whole window.
        const int ww = CurrentGraphicsWidth(), wh = CurrentGraphicsHeight();
        TGLFunctions& gl = GLFunctions();
        gl.MatrixMode(GL_PROJECTION);
        gl.LoadIdentity();
        gl.Ortho(0, ww, wh, 0, -1, 1);
        gl.MatrixMode(GL_MODELVIEW);
        gl.Viewport(0, 0, ww, wh);
        return;
    }
    ApplyVirtualProjection();
    ClearBars();
}

void TGLZeph2DDriver::FlushDrawing() { GLFlush(); }

void TGLZeph2DDriver::ResetGLContext(const Ref<TZeph2DGraphics>& graphics) {
    int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    graphics->GetSettings(&width, &height, &depth, &hertz, &flags);
    GLResetContextState(width, height);
    ApplyVirtualProjection();
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
    TGLZeph2DModule& s = GLZeph2DModule();
    if (!s.target) {
        s.viewport[0] = x;
        s.viewport[1] = y;
        s.viewport[2] = width;
        s.viewport[3] = height;
    }
    if (!s.target && s.virtual_w > 0) {
        // Virtual units to window pixels, kept inside the picture so that no bar is drawn on.
        const int* p = s.picture;
        auto across = [&](int v) { return p[0] + int(std::lround(double(v) * p[2] / s.virtual_w)); };
        auto down = [&](int v) { return p[1] + int(std::lround(double(v) * p[3] / s.virtual_h)); };
        int x0 = std::clamp(across(x), p[0], p[0] + p[2]), x1 = std::clamp(across(x + width), p[0], p[0] + p[2]);
        int y0 = std::clamp(down(y), p[1], p[1] + p[3]), y1 = std::clamp(down(y + height), p[1], p[1] + p[3]);
        GLFlush();
        GLFunctions().Enable(GL_SCISSOR_TEST);
        GLFunctions().Scissor(x0, CurrentGraphicsHeight() - std::max(y1, y0), std::max(x1 - x0, 0),
                              std::max(y1 - y0, 0));
        return;
    }
    if (s.target) {
        // Target rows run up from GL row 0, so the scissor box is not flipped.
        int th = s.target_height;
        if (s.target_fbo) {
            GLSetViewport(x, th - y - height, width, height, s.target_width, th);
            return;
        }
        // The fallback shares the back buffer: the scissor always keeps drawing in the corner.
        int x0 = std::max(x, 0), y0 = std::max(y, 0);
        int x1 = std::min(x + width, s.target_width), y1 = std::min(y + height, th);
        GLFlush();
        GLFunctions().Enable(GL_SCISSOR_TEST);
        GLFunctions().Scissor(x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0));
        return;
    }
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
    bool target = bool(GLZeph2DModule().target);
    // A target's rows already run the way glDrawPixels fills them.
    Ref<TPixmap> p = target ? pixmap->Copy() : MirrorPixmapY(pixmap);
    if (p->format != FORMAT_RGBA8888) p = p->Convert(FORMAT_RGBA8888);
    TGLFunctions& gl = GLFunctions();
    gl.RasterPos2i(0, 0);
    gl.Bitmap(0, 0, 0, 0, float(x), target ? float(y) : float(-y - p->height), nullptr);
    gl.DrawPixels(p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);  // RGBA rows are tight
    GLSetBlend(blend);
}

Ref<TPixmap> TGLZeph2DDriver::GrabPixmap(int x, int y, int width, int height) {
    GLFlush();
    int blend = GLZeph2DModule().blend_mode;
    GLSetBlend(BLEND_SOLID);
    Ref<TPixmap> p = TPixmap::Create(width, height, FORMAT_RGBA8888, 4);
    TGLFunctions& gl = GLFunctions();
    if (GLZeph2DModule().target) {
        gl.ReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        GLSetBlend(blend);
        return p;
    }
    if (GLZeph2DModule().virtual_w > 0) {
        // Counted from the picture's corner, as DrawPixmap's raster position is.
        x += GLZeph2DModule().picture[0];
        y += GLZeph2DModule().picture[1];
    }
    gl.ReadPixels(x, CurrentGraphicsHeight() - height - y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    GLSetBlend(blend);
    return MirrorPixmapY(p);
}

// ---- Render targets

bool TGLZeph2DDriver::BeginRenderTarget(const Ref<TImageFrame>& frame, int width, int height) {
    auto* f = dynamic_cast<TGLImageFrame*>(frame.get());
    TGLZeph2DModule& s = GLZeph2DModule();
    if (!f || s.target || width <= 0 || height <= 0) return false;
    // A shrunk texture does not hold the image at its own size.
    if (f->resampled || f->tex_width < width || f->tex_height < height) return false;
    GLFlush();
    TGLFunctions& gl = GLFunctions();
    GLuint fbo = 0;
    GLint previous = 0;
    if (!s.framebuffers_off && gl.HasFramebuffers()) {
        gl.GetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
        gl.GenFramebuffers(1, &fbo);
        gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, f->name, 0);
        if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            gl.BindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
            gl.DeleteFramebuffers(1, &fbo);
            fbo = 0;
        }
    }
    if (!fbo) {
        // The fallback draws in the back buffer's bottom-left corner, which must exist.
        if (width > CurrentGraphicsWidth() || height > CurrentGraphicsHeight()) return false;
        s.target_saved.assign(size_t(width) * size_t(height) * 4, 0);
        gl.Disable(GL_SCISSOR_TEST);
        gl.ReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, s.target_saved.data());
    }
    s.target = frame;
    s.target_name = f->name;
    s.target_width = width;
    s.target_height = height;
    s.target_fbo = fbo;
    s.target_previous_fbo = previous;
    GLResetTargetState(width, height);
    if (!fbo) {
        // Start from what the image holds: its texture, copied over unblended and untinted.
        gl.Disable(GL_SCISSOR_TEST);
        GLSetBlend(BLEND_SOLID);
        GLEnableTex(f->name);
        const GLubyte white[4] = {255, 255, 255, 255};
        gl.Color4ubv(white);
        float u = float(width) / float(f->tex_width), v = float(height) / float(f->tex_height);
        gl.Begin(GL_QUADS);
        gl.TexCoord2f(0, 0);
        gl.Vertex2f(0, 0);
        gl.TexCoord2f(u, 0);
        gl.Vertex2f(float(width), 0);
        gl.TexCoord2f(u, v);
        gl.Vertex2f(float(width), float(height));
        gl.TexCoord2f(0, v);
        gl.Vertex2f(0, float(height));
        gl.End();
        gl.Color4ubv(s.color);
        gl.Enable(GL_SCISSOR_TEST);
        gl.Scissor(0, 0, width, height);
    }
    return true;
}

Ref<TPixmap> TGLZeph2DDriver::EndRenderTarget() {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (!s.target) return nullptr;
    GLFlush();
    TGLFunctions& gl = GLFunctions();
    int w = s.target_width, h = s.target_height;
    gl.Disable(GL_SCISSOR_TEST);
    Ref<TPixmap> pixels = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
    gl.ReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels->pixels);
    if (s.target_fbo) {
        gl.BindFramebuffer(GL_FRAMEBUFFER, GLuint(s.target_previous_fbo));
        gl.DeleteFramebuffers(1, &s.target_fbo);
        gl.BindTexture(GL_TEXTURE_2D, s.target_name);
    } else {
        gl.BindTexture(GL_TEXTURE_2D, s.target_name);
        gl.CopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, w, h);
    }
    // The column and row beyond the image repeat its last ones, as an upload pads them, so that
    // filtered drawing at the right and bottom edges samples what was drawn, not older pixels.
    const auto* frame = static_cast<const TGLImageFrame*>(s.target.get());
    const size_t pitch = size_t(pixels->pitch);
    if (frame->tex_width > w) {
        const int rows = h + (frame->tex_height > h ? 1 : 0);  // the corner texel too
        std::vector<uint8_t> column(size_t(rows) * 4);
        for (int y = 0; y < rows; ++y)
            std::memcpy(&column[size_t(y) * 4], pixels->pixels + size_t(std::min(y, h - 1)) * pitch + size_t(w - 1) * 4, 4);
        gl.TexSubImage2D(GL_TEXTURE_2D, 0, w, 0, 1, rows, GL_RGBA, GL_UNSIGNED_BYTE, column.data());
    }
    if (frame->tex_height > h)
        gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, h, w, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixels->pixels + size_t(h - 1) * pitch);
    s.target = nullptr;
    s.target_fbo = 0;
    int ww = CurrentGraphicsWidth(), wh = CurrentGraphicsHeight();
    GLResetContextState(ww, wh);  // also forgets the binding made above
    if (!s.target_saved.empty()) {
        // The window's own pixels back under the corner the fallback drew in.
        GLSetBlend(BLEND_SOLID);
        gl.RasterPos2i(0, 0);
        gl.Bitmap(0, 0, 0, 0, 0, float(-wh), nullptr);
        gl.DrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, s.target_saved.data());
        s.target_saved.clear();
    }
    ApplyVirtualProjection();
    return pixels;
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

// The OpenGL 2D back end: the drawing driver that turns drawing calls into fixed-function
// OpenGL, on top of the plain OpenGL graphics driver, which owns windows, contexts, buffer
// swaps and the shared texture context.
//
// Starting the module makes GLZeph2DDriver() the current graphics driver (default flags
// GFX_DOUBLE_BUFFER), so every context the program opens is a TZeph2DGraphics of this driver.
// "gldrawtextfont.bin" comes with the OpenGL graphics module it starts.
//
// Contexts come from a plain OpenGL driver: the GLX driver unless the program chooses another
// one (such as the offscreen EGL driver) with SetGLZeph2DContextDriver.
#pragma once

#include <corvex/draw2d/zeph2d.h>
#include <corvex/graphics/gl_context_driver.h>

namespace corvex {

// The drawing driver of the OpenGL back end; programs reach it through the module operations.
class TGLZeph2DDriver : public TZeph2DDriver {
public:
    // ---- Contexts, delegated to the chosen plain OpenGL driver
    TGraphicsModes GraphicsModes() override;
    Ref<TGraphics> AttachGraphics(uintptr_t window, int32_t flags) override;
    Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                  int32_t flags) override;
    void SetGraphics(const Ref<TGraphics>& graphics) override;  // resets GL state, then MakeCurrent
    void Flip(int32_t sync) override;  // then blackens the bars of a virtual resolution
    void GraphicsResized(const Ref<TGraphics>& graphics) override;  // projection and state again
    virtual void ResetGLContext(const Ref<TZeph2DGraphics>& graphics);  // caches and pixel projection
    TString ToString() const { return u"OpenGL"; }

    // ---- Drawing
    Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) override;  // in the shared context
    void SetBlend(int mode) override;
    void SetAlpha(float alpha) override;
    void SetLineWidth(float width) override;
    void SetColor(int red, int green, int blue) override;
    void SetClsColor(int red, int green, int blue) override;
    void SetViewport(int x, int y, int width, int height) override;
    void SetTransform(float ix, float iy, float jx, float jy) override;
    void Cls() override;
    void Plot(float x, float y) override;
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y, float origin_x,
                  float origin_y) override;
    void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) override;   // unscaled, solid blending
    Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) override;  // row 0 at the top
    void FlushDrawing() override;
    // A framebuffer object on the frame's texture where the GL has them (core, ARB or EXT);
    // otherwise the back buffer's bottom-left corner, saved first, then copied into the
    // texture with glCopyTexSubImage2D and restored (the window must be at least as large).
    bool BeginRenderTarget(const Ref<TImageFrame>& frame, int width, int height) override;
    Ref<TPixmap> EndRenderTarget() override;  // draws the pending run of vertices (one glDrawArrays)
    // Projection and glViewport on the picture, every viewport scissored inside it.
    void SetVirtualResolution(int width, int height) override;
};

Ref<TGLZeph2DDriver> GLZeph2DDriver();  // the one instance, made on first call
void StartGLZeph2DModule();             // starts draw2d and the GL graphics driver, then selects this one

// The plain OpenGL driver contexts come from; GLGraphicsDriver() until another is chosen.
Ref<TGLContextDriver> GLZeph2DContextDriver();
// Chooses the plain OpenGL driver (Null: back to GLGraphicsDriver()). A change closes the opened
// graphics, leaves no context current in the old driver and selects the back end again with
// the default flags GFX_DOUBLE_BUFFER, so its modes are enumerated afresh. Images keep working:
// their textures are made again in the new driver's shared context.
void SetGLZeph2DContextDriver(const Ref<TGLContextDriver>& driver);

}  // namespace corvex

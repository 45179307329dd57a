// The drawing state and the abstract drawing driver, with the module operations that draw
// through them: colour, alpha, blend mode, line width, viewport, origin, handle, rotation and
// scale, and the untextured primitives.
//
// Module operations act on the current drawing state (the TZeph2DGraphics made current by the
// driver's SetGraphics) and forward to its driver, offset by the origin and the handle. Calling
// one while no graphics context is current raises TRuntimeException "No graphics are current".
#pragma once

#include <vector>

#include <corvex/draw2d/blend.h>
#include <corvex/graphics/graphics.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/runtime/object.h>

namespace corvex {

class TImageFont;

// A drawable frame made by a drawing driver (a texture for OpenGL).
class TImageFrame : public TObject {
public:
    // Draws the whole frame stretched over the local rectangle (x0, y0)-(x1, y1), placed at
    // (tx, ty) through the driver's matrix.
    virtual void Draw(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    // Draws the frame's pixels (px0, py0)-(px1, py1) over the local rectangle, sampled exactly as
    // a frame holding only those pixels (and their edges) would be; false when it cannot.
    virtual bool DrawPart(float x0, float y0, float x1, float y1, float tx, float ty, int px0, int py0, int px1,
                          int py1);
    // Replaces the frame's pixels at (x, y) with part's, in place; false when it cannot (the
    // caller then makes the frame anew from its whole pixmap).
    virtual bool WritePart(const Ref<TPixmap>& part, int x, int y);
};

// A graphics driver that also draws. Local points (u, v) placed at (tx, ty) land at
// (u*ix + v*iy + tx, u*jx + v*jy + ty) with the matrix of the last SetTransform.
class TZeph2DDriver : public TGraphicsDriver {
public:
    virtual Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) = 0;  // a drawable frame (texture) of the pixmap; IMAGE_* flags
    virtual void SetBlend(int mode) = 0;  // BLEND_* mode for what is drawn next
    virtual void SetAlpha(float alpha) = 0;  // opacity 0..1 for what is drawn next
    virtual void SetColor(int red, int green, int blue) = 0;  // drawing colour, 0..255 each
    virtual void SetClsColor(int red, int green, int blue) = 0;  // colour Cls fills with
    virtual void SetViewport(int x, int y, int width, int height) = 0;  // the window rectangle drawing is clipped to
    virtual void SetTransform(float ix, float iy, float jx, float jy) = 0;  // the matrix local points go through
    virtual void SetLineWidth(float width) = 0;  // width of lines in pixels
    virtual void Cls() = 0;  // fills the viewport with the Cls colour
    virtual void Plot(float x, float y) = 0;  // one pixel at window (x, y)
    virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;  // local points, placed at (tx, ty)
    virtual void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) = 0;  // filled, local corners, placed at (tx, ty)
    virtual void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) = 0;  // filled, in the local rectangle, placed at (tx, ty)
    virtual void DrawPoly(const std::vector<float>& xy, float handle_x, float handle_y, float origin_x,
                          float origin_y) = 0;  // filled polygon of local x, y pairs
    virtual void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) = 0;  // unscaled at window (x, y)
    virtual Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) = 0;  // window pixels, row 0 at the top
    // Draws whatever the driver still holds back; a driver that draws at once does nothing.
    virtual void FlushDrawing() {}
    // Sends drawing into frame (one of this driver's, holding a width x height image) until
    // EndRenderTarget; false, with nothing changed, when the driver cannot draw into it.
    virtual bool BeginRenderTarget(const Ref<TImageFrame>& /*frame*/, int /*width*/, int /*height*/) {
        return false;
    }
    // Drawing goes back to the current graphics; returns the target's pixels, row 0 at the top.
    virtual Ref<TPixmap> EndRenderTarget() { return nullptr; }
    // From now on window drawing is in width x height units shown in VirtualPicture's rectangle,
    // the rest of the window black; 0, 0: in window pixels again.
    virtual void SetVirtualResolution(int /*width*/, int /*height*/) {}
};

// The drawing state of one graphics context.
class TZeph2DGraphics : public TGraphics {
public:
    int color_red = 255, color_green = 255, color_blue = 255;  // stored unchanged
    float color_alpha = 1.0f;  // SetAlpha
    int clscolor_red = 0, clscolor_green = 0, clscolor_blue = 0;  // SetClsColor
    float line_width = 1.0f;  // SetLineWidth
    float tform_rot = 0.0f;  // degrees; positive turns clockwise on screen
    float tform_scale_x = 1.0f, tform_scale_y = 1.0f;  // SetScale
    float tform_ix = 1.0f, tform_iy = 0.0f, tform_jx = 0.0f, tform_jy = 1.0f;  // from rotation and scale
    int viewport_x = 0, viewport_y = 0, viewport_w = 0, viewport_h = 0;  // SetViewport
    float origin_x = 0.0f, origin_y = 0.0f;  // SetOrigin
    float handle_x = 0.0f, handle_y = 0.0f;  // the NEGATED handle
    Ref<TImageFont> image_font;  // SetImageFont; starts as the built-in font
    int blend_mode = BLEND_MASK;  // SetBlend
    float view_x = 0.0f, view_y = 0.0f;  // SetView: the view point shown at the anchor
    float view_zoom = 1.0f, view_rot = 0.0f;  // SetView: magnification, degrees clockwise
    float view_anchor_x = 0.0f, view_anchor_y = 0.0f;  // SetView: window point of the view point
    float _view_a = 1.0f, _view_b = 0.0f, _view_c = 0.0f, _view_d = 1.0f;  // the view's matrix: window = (a b; c d) p + t
    float _view_tx = 0.0f, _view_ty = 0.0f;  // the view's translation t
    bool _view_on = false;  // false while the view is the identity
    int virtual_w = 0, virtual_h = 0;  // SetVirtualResolution; 0, 0: off
    // Pushed drawing settings (PushDrawState); the whole record but the context and driver.
    struct TSaved {
        int color[3];     // the drawing colour
        int clscolor[3];  // the clear colour
        int blend;        // the blend mode
        int viewport[4];  // the viewport: x, y, width, height
        float alpha, line_width, rot, scale_x, scale_y;  // alpha, line width, rotation, scale as set
        float origin_x, origin_y, handle_x, handle_y;  // origin and (negated) handle as set
        float view[6];  // the view: x, y, zoom, rotation, anchor x, anchor y
        Ref<TImageFont> font;  // the image font
    };
    std::vector<TSaved> _saved;
    Ref<TGraphics> _graphics;  // the context this state draws into
    Ref<TZeph2DDriver> _driver;  // the driver that draws
    int _setup = 0;  // 1 once the first MakeCurrent has cleared both buffers

    Ref<TGraphicsDriver> Driver() override;
    void GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) override;  // those of the context it draws into
    void Close() override;
    // The context's new size; a viewport covering the whole drawing area follows it.
    int32_t TakeNewSize(int32_t* width, int32_t* height) override;
    virtual void Validate();     // re-applies the whole record to the driver
    virtual void MakeCurrent();  // current state + Validate; the first time also clears both buffers

    static void ClearCurrent();  // no drawing state current
    static Ref<TZeph2DGraphics> Current();  // the current drawing state, Null when none
    static Ref<TZeph2DGraphics> Create(const Ref<TGraphics>& graphics, const Ref<TZeph2DDriver>& driver);  // a default state over graphics, drawn by driver

private:
    std::weak_ptr<TZeph2DGraphics> _self;
};

// ---- Start-up
void StartDraw2DModule();  // starts streams, pixmaps (with their loaders) and graphics; registers "tundrafont.bin"

// ---- Colour, alpha, blending
void SetColor(int red, int green, int blue);
void GetColor(int& red, int& green, int& blue);
void SetClsColor(int red, int green, int blue);
void GetClsColor(int& red, int& green, int& blue);
void SetAlpha(float alpha);
float GetAlpha();
void SetBlend(int mode);
int GetBlend();
void SetLineWidth(float width);
float GetLineWidth();
void SetMaskColor(int red, int green, int blue);  // no driver call
void GetMaskColor(int& red, int& green, int& blue);

// ---- Placement
void SetViewport(int x, int y, int width, int height);
void GetViewport(int& x, int& y, int& width, int& height);
void SetOrigin(float x, float y);  // no driver call
void GetOrigin(float& x, float& y);
void SetHandle(float x, float y);  // stores (-x, -y); no driver call
void GetHandle(float& x, float& y);
void SetRotation(float degrees);
float GetRotation();
void SetScale(float scale_x, float scale_y);
void GetScale(float& scale_x, float& scale_y);
void SetRotationAndScale(float degrees, float scale_x, float scale_y);
void UpdateTransform();  // matrix from rotation and scale (after the view), sent to the driver

// ---- View: a camera over everything drawn after it (TileImage, Plot's size, DrawPixmap,
// GrabPixmap, Cls and the viewport stay in window pixels). The view point (x, y) lands on the
// window point (anchor_x, anchor_y), about which the picture is zoomed and turned clockwise.
void SetView(float x, float y, float zoom = 1.0f, float rotation = 0.0f, float anchor_x = 0.0f,
             float anchor_y = 0.0f);
void ResetView();  // back to window pixels
void GetView(float& x, float& y, float& zoom, float& rotation, float& anchor_x, float& anchor_y);
// The drawing position (as passed to DrawRect, DrawImage, ...) that lands on a window point,
// the origin and view undone: for the mouse. A zoom of 0 maps everything to the view point.
void WindowToView(float window_x, float window_y, float& x, float& y);
void ViewToWindow(float x, float y, float& window_x, float& window_y);  // the other way

// ---- Virtual resolution: the program draws in width x height units whatever the window's size.
// They are scaled uniformly into the largest centred rectangle of the window (the picture) and
// the rest is kept black (letterbox or pillarbox bars, never drawn over the picture). Viewport,
// origin, handle, view and TileImage then work in those units; DrawPixmap and GrabPixmap stay
// unscaled, counted in pixels from the picture's top-left corner. Mouse events and the polled
// mouse position are reported in those units, unclamped: a point in a bar lies outside
// 0..width-1 or 0..height-1; MoveMouse takes them too. Per graphics context; not part of
// PushDrawState.
void SetVirtualResolution(int width, int height);  // 0, 0 (or any size < 1): off, the default
void GetVirtualResolution(int& width, int& height);  // 0, 0 while off
// The picture's rectangle in a window_w x window_h window for a width x height virtual
// resolution: the whole window when either is < 1.
void VirtualPicture(int window_w, int window_h, int width, int height, int& x, int& y, int& w, int& h);
// A window point (pixels) in virtual units of the current graphics; unchanged while off.
void WindowToVirtual(float window_x, float window_y, float& x, float& y);
void VirtualToWindow(float x, float y, float& window_x, float& window_y);  // the other way

// ---- Saving settings: colour, alpha, blend, line width, clear colour, rotation, scale,
// viewport, origin, handle, font and view, per graphics context.
void PushDrawState();  // raises TRuntimeException past 1024 unpopped pushes
int32_t PopDrawState();  // restores the last push: 1; with nothing pushed, changes nothing: 0

// ---- Primitives
void Cls();
void Plot(float x, float y);  // origin only
void DrawLine(float x1, float y1, float x2, float y2, int draw_last_pixel = 1);
void DrawRect(float x, float y, float width, float height);
void DrawOval(float x, float y, float width, float height);
void DrawPoly(const std::vector<float>& xy);  // x, y pairs; fewer than 3 points draw nothing
void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y);  // unscaled, no origin or handle
Ref<TPixmap> GrabPixmap(int x, int y, int width, int height);
// Draws every primitive still pending in the driver and hands OpenGL the current colour and
// alpha. Drawing calls are collected into runs; call this right before your own OpenGL calls.
void FlushDrawing();

}  // namespace corvex

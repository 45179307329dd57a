#include <corvex/draw2d/zeph2d.h>

#include <cmath>

#include "stream/fontbits.h"
#include <corvex/draw2d/imagefont.h>
#include <corvex/pixmap/loader.h>
#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include <corvex/stream/stream.h>
#include "draw2d/draw2d_module.h"

namespace corvex {

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;

TZeph2DGraphics& State() {
    TZeph2DGraphics* state = Draw2DModule().current.get();
    if (!state) throw TRuntimeException("No graphics are current");
    return *state;
}

TZeph2DDriver& Driver() {
    State();
    return *Draw2DModule().driver;
}

}  // namespace

// ---- TZeph2DGraphics

Ref<TGraphicsDriver> TZeph2DGraphics::Driver() { return _driver; }

void TZeph2DGraphics::GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) {
    if (_graphics) {
        _graphics->GetSettings(width, height, depth, hertz, flags);
    } else {
        *width = *height = *depth = *hertz = *flags = 0;
    }
}

void TZeph2DGraphics::Close() {
    if (!_graphics) return;
    // What is pending belongs to this context, while it is still there to draw into.
    if (_driver && Draw2DModule().current.get() == this) _driver->FlushDrawing();
    Ref<TGraphics> graphics = std::move(_graphics);
    _graphics = nullptr;
    _driver = nullptr;
    graphics->Close();
}

void TZeph2DGraphics::Validate() {
    corvex::SetBlend(blend_mode);
    corvex::SetColor(color_red, color_green, color_blue);
    corvex::SetAlpha(color_alpha);
    corvex::SetClsColor(clscolor_red, clscolor_green, clscolor_blue);
    corvex::SetLineWidth(line_width);
    corvex::SetRotation(tform_rot);
    corvex::SetScale(tform_scale_x, tform_scale_y);
    corvex::SetViewport(viewport_x, viewport_y, viewport_w, viewport_h);
    corvex::SetOrigin(origin_x, origin_y);
    corvex::SetHandle(-handle_x, -handle_y);
    corvex::SetImageFont(image_font);
}

void TZeph2DGraphics::MakeCurrent() {
    TDraw2DModule& module = Draw2DModule();
    module.current = _self.lock();
    module.driver = _driver;
    Validate();
    if (_setup == 0) {
        corvex::Cls();
        corvex::Flip(0);
        corvex::Cls();
        corvex::Flip(0);
        _setup = 1;
    }
}

void TZeph2DGraphics::ClearCurrent() {
    Draw2DModule().current = nullptr;
    Draw2DModule().driver = nullptr;
}

Ref<TZeph2DGraphics> TZeph2DGraphics::Current() { return Draw2DModule().current; }

Ref<TZeph2DGraphics> TZeph2DGraphics::Create(const Ref<TGraphics>& graphics, const Ref<TZeph2DDriver>& driver) {
    int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    graphics->GetSettings(&width, &height, &depth, &hertz, &flags);
    TDraw2DModule& module = Draw2DModule();
    if (!module.default_font) module.default_font = TImageFont::CreateDefault();
    auto g = std::make_shared<TZeph2DGraphics>();
    g->viewport_w = width;
    g->viewport_h = height;
    g->image_font = module.default_font;
    g->_graphics = graphics;
    g->_driver = driver;
    g->_self = g;
    return g;
}

// ---- Module state

void TDraw2DModule::Reset() { *this = TDraw2DModule(); }

TDraw2DModule& Draw2DModule() {
    // Never destroyed: images and fonts it holds must not release textures after the graphics
    // module has gone at program exit.
    static TDraw2DModule* module = new TDraw2DModule();
    return *module;
}

void StartDraw2DModule() {
    StartPixmapModule();  // streams, then the PNG, JPEG, BMP and TGA loaders images are read with
    StartGraphicsModule();
    if (!BeginModuleStart("draw2d")) return;
    RegisterIncbin("tundrafont.bin", kBuiltinFontBits, kBuiltinFontSize);
}

// ---- Colour, alpha, blending

void SetColor(int red, int green, int blue) {
    TZeph2DGraphics& s = State();
    s.color_red = red;
    s.color_green = green;
    s.color_blue = blue;
    Driver().SetColor(red, green, blue);
}

void GetColor(int& red, int& green, int& blue) {
    const TZeph2DGraphics& s = State();
    red = s.color_red;
    green = s.color_green;
    blue = s.color_blue;
}

void SetClsColor(int red, int green, int blue) {
    TZeph2DGraphics& s = State();
    s.clscolor_red = red;
    s.clscolor_green = green;
    s.clscolor_blue = blue;
    Driver().SetClsColor(red, green, blue);
}

void GetClsColor(int& red, int& green, int& blue) {
    const TZeph2DGraphics& s = State();
    red = s.clscolor_red;
    green = s.clscolor_green;
    blue = s.clscolor_blue;
}

void SetAlpha(float alpha) {
    State().color_alpha = alpha;
    Driver().SetAlpha(alpha);
}

float GetAlpha() { return State().color_alpha; }

void SetBlend(int mode) {
    State().blend_mode = mode;
    Driver().SetBlend(mode);
}

int GetBlend() { return State().blend_mode; }

void SetLineWidth(float width) {
    State().line_width = width;
    Driver().SetLineWidth(width);
}

float GetLineWidth() { return State().line_width; }

void SetMaskColor(int red, int green, int blue) {
    TDraw2DModule& module = Draw2DModule();
    module.mask_red = red;
    module.mask_green = green;
    module.mask_blue = blue;
}

void GetMaskColor(int& red, int& green, int& blue) {
    const TDraw2DModule& module = Draw2DModule();
    red = module.mask_red;
    green = module.mask_green;
    blue = module.mask_blue;
}

// ---- Placement

void SetViewport(int x, int y, int width, int height) {
    TZeph2DGraphics& s = State();
    s.viewport_x = x;
    s.viewport_y = y;
    s.viewport_w = width;
    s.viewport_h = height;
    Driver().SetViewport(x, y, width, height);
}

void GetViewport(int& x, int& y, int& width, int& height) {
    const TZeph2DGraphics& s = State();
    x = s.viewport_x;
    y = s.viewport_y;
    width = s.viewport_w;
    height = s.viewport_h;
}

void SetOrigin(float x, float y) {
    TZeph2DGraphics& s = State();
    s.origin_x = x;
    s.origin_y = y;
}

void GetOrigin(float& x, float& y) {
    const TZeph2DGraphics& s = State();
    x = s.origin_x;
    y = s.origin_y;
}

void SetHandle(float x, float y) {
    TZeph2DGraphics& s = State();
    s.handle_x = -x;
    s.handle_y = -y;
}

void GetHandle(float& x, float& y) {
    const TZeph2DGraphics& s = State();
    x = -s.handle_x;
    y = -s.handle_y;
}

void UpdateTransform() {
    TZeph2DGraphics& s = State();
    double radians = s.tform_rot * kDegreesToRadians;
    float sin_r = float(std::sin(radians));
    float cos_r = float(std::cos(radians));
    s.tform_ix = cos_r * s.tform_scale_x;
    s.tform_iy = -sin_r * s.tform_scale_y;
    s.tform_jx = sin_r * s.tform_scale_x;
    s.tform_jy = cos_r * s.tform_scale_y;
    Driver().SetTransform(s.tform_ix, s.tform_iy, s.tform_jx, s.tform_jy);
}

void SetRotation(float degrees) {
    State().tform_rot = degrees;
    UpdateTransform();
}

float GetRotation() { return State().tform_rot; }

void SetScale(float scale_x, float scale_y) {
    TZeph2DGraphics& s = State();
    s.tform_scale_x = scale_x;
    s.tform_scale_y = scale_y;
    UpdateTransform();
}

void GetScale(float& scale_x, float& scale_y) {
    const TZeph2DGraphics& s = State();
    scale_x = s.tform_scale_x;
    scale_y = s.tform_scale_y;
}

void SetRotationAndScale(float degrees, float scale_x, float scale_y) {
    TZeph2DGraphics& s = State();
    s.tform_rot = degrees;
    s.tform_scale_x = scale_x;
    s.tform_scale_y = scale_y;
    UpdateTransform();
}

// ---- Primitives

void Cls() { Driver().Cls(); }

void Plot(float x, float y) {
    const TZeph2DGraphics& s = State();
    Driver().Plot(x + s.origin_x, y + s.origin_y);
}

void DrawLine(float x1, float y1, float x2, float y2, int draw_last_pixel) {
    const TZeph2DGraphics& s = State();
    TZeph2DDriver& d = Driver();
    float hx = s.handle_x, hy = s.handle_y;
    float tx = x1 + s.origin_x, ty = y1 + s.origin_y;
    d.DrawLine(hx, hy, hx + (x2 - x1), hy + (y2 - y1), tx, ty);
    if (draw_last_pixel) {
        // Summed left to right, x1 before the origin: the float result depends on the order.
        float px = hx + x2 - x1, py = hy + y2 - y1;
        d.Plot(px * s.tform_ix + py * s.tform_iy + x1 + s.origin_x, px * s.tform_jx + py * s.tform_jy + y1 + s.origin_y);
    }
}

void DrawRect(float x, float y, float width, float height) {
    const TZeph2DGraphics& s = State();
    float hx = s.handle_x, hy = s.handle_y;
    Driver().DrawRect(hx, hy, hx + width, hy + height, x + s.origin_x, y + s.origin_y);
}

void DrawOval(float x, float y, float width, float height) {
    const TZeph2DGraphics& s = State();
    float hx = s.handle_x, hy = s.handle_y;
    Driver().DrawOval(hx, hy, hx + width, hy + height, x + s.origin_x, y + s.origin_y);
}

void DrawPoly(const std::vector<float>& xy) {
    const TZeph2DGraphics& s = State();
    Driver().DrawPoly(xy, s.handle_x, s.handle_y, s.origin_x, s.origin_y);
}

void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) { Driver().DrawPixmap(pixmap, x, y); }

Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) { return Driver().GrabPixmap(x, y, width, height); }

void FlushDrawing() {
    if (TZeph2DDriver* driver = Draw2DModule().driver.get()) driver->FlushDrawing();
}

bool TImageFrame::DrawPart(float, float, float, float, float, float, int, int, int, int) { return false; }
bool TImageFrame::WritePart(const Ref<TPixmap>&, int, int) { return false; }

}  // namespace corvex

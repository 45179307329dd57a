#include <corvex/draw2d/zeph2d.h>

#include <algorithm>
#include <cmath>

#include "stream/fontbits.h"
#include <corvex/draw2d/imagefont.h>
#include <corvex/pixmap/loader.h>
#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include <corvex/stream/stream.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/draw2d/image.h>
#include "draw2d/draw2d_module.h"
#include "system/system_module.h"

namespace corvex {

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;

[[noreturn]] void NoGraphics() { throw TRuntimeException("No graphics are current"); }

inline TZeph2DGraphics& State() {
    TZeph2DGraphics* state = Draw2DModule().current.get();
    if (!state) NoGraphics();
    return *state;
}

// The driver of the current state; raises without one, as State does.
inline TZeph2DDriver& Driver() {
    TDraw2DModule& module = Draw2DModule();
    if (!module.current) NoGraphics();
    return *module.driver;
}

// The current state and its driver with one look at the module.
struct TCurrent {
    TZeph2DGraphics& state;
    TZeph2DDriver& driver;
};
inline TCurrent Current() {
    TDraw2DModule& module = Draw2DModule();
    if (!module.current) NoGraphics();
    return {*module.current, *module.driver};
}

// The drawing position (tx, ty) through the view into window pixels.
inline void Place(const TZeph2DGraphics& s, float& x, float& y) { PlaceThroughView(s, x, y); }

Ref<TObject> VirtualMouseHook(int32_t, const Ref<TObject>& data, const Ref<TObject>&);
void VirtualPointerMap(int32_t* x, int32_t* y);

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

int32_t TZeph2DGraphics::TakeNewSize(int32_t* width, int32_t* height) {
    if (!_graphics) return 0;
    int32_t old_w = 0, old_h = 0, depth = 0, hertz = 0, flags = 0;
    _graphics->GetSettings(&old_w, &old_h, &depth, &hertz, &flags);
    if (!_graphics->TakeNewSize(width, height)) return 0;
    // A viewport over the whole window follows it; one the program narrowed stays as it is.
    if (virtual_w <= 0 && viewport_x == 0 && viewport_y == 0 && viewport_w == old_w && viewport_h == old_h) {
        viewport_w = *width;
        viewport_h = *height;
    }
    return 1;
}

void TZeph2DGraphics::Validate() {
    // First: the viewport below is in the units it sets.
    if (_driver) _driver->SetVirtualResolution(virtual_w, virtual_h);
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
    // Drawing moves elsewhere: a render image drawn into gets its pixels back first.
    if (module.target && module.target->_render_state.get() != this) LeaveRenderImage(false);
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
    // Called while the context is still there (graphics closing or switching): read back now.
    if (Draw2DModule().target) LeaveRenderImage(false);
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

TTurnCache::TTurnCache() { slots.fill({0, 0.0f, 1.0f}); }  // std::sin(0.0) and std::cos(0.0) exactly

void TTurnCache::Fill(TSlot& slot, uint32_t bits, float degrees) {
    double radians = degrees * kDegreesToRadians;
    slot.bits = bits;
    slot.sin = float(std::sin(radians));
    slot.cos = float(std::cos(radians));
}

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
    // Ahead of the hooks of lower priority: polled input and, in practice, a program's own.
    InstallHook(EventEmitHookId(), VirtualMouseHook, nullptr, 0x40000000);
    SystemModule().pointerMap = VirtualPointerMap;
}

// ---- Colour, alpha, blending

void SetColor(int red, int green, int blue) {
    TCurrent c = Current();
    c.state.color_red = red;
    c.state.color_green = green;
    c.state.color_blue = blue;
    c.driver.SetColor(red, green, blue);
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
    TCurrent c = Current();
    c.state.color_alpha = alpha;
    c.driver.SetAlpha(alpha);
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
    TDraw2DModule& module = Draw2DModule();
    TCurrent c = Current();
    TZeph2DGraphics& s = c.state;
    float sin_r, cos_r;
    module.turns.Get(s.tform_rot, sin_r, cos_r);
    s.tform_ix = cos_r * s.tform_scale_x;
    s.tform_iy = -sin_r * s.tform_scale_y;
    s.tform_jx = sin_r * s.tform_scale_x;
    s.tform_jy = cos_r * s.tform_scale_y;
    if (!s._view_on) {
        c.driver.SetTransform(s.tform_ix, s.tform_iy, s.tform_jx, s.tform_jy);
        return;
    }
    c.driver.SetTransform(s._view_a * s.tform_ix + s._view_b * s.tform_jx, s._view_a * s.tform_iy + s._view_b * s.tform_jy,
                          s._view_c * s.tform_ix + s._view_d * s.tform_jx, s._view_c * s.tform_iy + s._view_d * s.tform_jy);
}

void SetView(float x, float y, float zoom, float rotation, float anchor_x, float anchor_y) {
    TZeph2DGraphics& s = State();
    s.view_x = x;
    s.view_y = y;
    s.view_zoom = zoom;
    s.view_rot = rotation;
    s.view_anchor_x = anchor_x;
    s.view_anchor_y = anchor_y;
    double radians = double(rotation) * kDegreesToRadians;
    float sin_r = float(std::sin(radians)), cos_r = float(std::cos(radians));
    s._view_a = cos_r * zoom;
    s._view_b = -sin_r * zoom;
    s._view_c = sin_r * zoom;
    s._view_d = cos_r * zoom;
    s._view_tx = anchor_x - (s._view_a * x + s._view_b * y);
    s._view_ty = anchor_y - (s._view_c * x + s._view_d * y);
    s._view_on = !(zoom == 1.0f && rotation == 0.0f && x == anchor_x && y == anchor_y);
    if (!s._view_on) {
        s._view_a = s._view_d = 1.0f;
        s._view_b = s._view_c = s._view_tx = s._view_ty = 0.0f;
    }
    UpdateTransform();
}

void ResetView() { SetView(0, 0, 1, 0, 0, 0); }

void GetView(float& x, float& y, float& zoom, float& rotation, float& anchor_x, float& anchor_y) {
    const TZeph2DGraphics& s = State();
    x = s.view_x;
    y = s.view_y;
    zoom = s.view_zoom;
    rotation = s.view_rot;
    anchor_x = s.view_anchor_x;
    anchor_y = s.view_anchor_y;
}

void WindowToView(float window_x, float window_y, float& x, float& y) {
    const TZeph2DGraphics& s = State();
    double px = window_x, py = window_y;
    if (s._view_on) {
        double det = double(s._view_a) * s._view_d - double(s._view_b) * s._view_c;
        double dx = px - s._view_tx, dy = py - s._view_ty;
        if (det == 0.0) {
            px = s.view_x;
            py = s.view_y;
        } else {
            px = (s._view_d * dx - s._view_b * dy) / det;
            py = (s._view_a * dy - s._view_c * dx) / det;
        }
    }
    x = float(px - s.origin_x);
    y = float(py - s.origin_y);
}

void ViewToWindow(float x, float y, float& window_x, float& window_y) {
    const TZeph2DGraphics& s = State();
    window_x = x + s.origin_x;
    window_y = y + s.origin_y;
    Place(s, window_x, window_y);
}

// ---- Virtual resolution

namespace {

// The size of the drawing area: the virtual resolution, else the context's own.
void DrawingArea(const TZeph2DGraphics& s, int& width, int& height) {
    if (s.virtual_w > 0) {
        width = s.virtual_w;
        height = s.virtual_h;
        return;
    }
    int32_t w = 0, h = 0, depth = 0, hertz = 0, flags = 0;
    if (s._graphics) s._graphics->GetSettings(&w, &h, &depth, &hertz, &flags);
    width = w;
    height = h;
}

// The picture's rectangle in the window of state s.
void PictureOf(const TZeph2DGraphics& s, int& x, int& y, int& w, int& h) {
    int32_t ww = 0, wh = 0, depth = 0, hertz = 0, flags = 0;
    if (s._graphics) s._graphics->GetSettings(&ww, &wh, &depth, &hertz, &flags);
    VirtualPicture(ww, wh, s.virtual_w, s.virtual_h, x, y, w, h);
}

void MapToVirtual(const TZeph2DGraphics& s, double wx, double wy, double& x, double& y) {
    int px = 0, py = 0, pw = 0, ph = 0;
    PictureOf(s, px, py, pw, ph);
    x = (wx - px) * s.virtual_w / pw;
    y = (wy - py) * s.virtual_h / ph;
}

// MoveMouse's point under a virtual resolution: the window pixel that maps back into that unit
// (its centre's pixel), so moving the pointer to where an event put it leaves it there.
void VirtualPointerMap(int32_t* x, int32_t* y) {
    auto* state = dynamic_cast<TZeph2DGraphics*>(CurrentGraphics().get());
    if (!state || state->virtual_w <= 0) return;
    int px = 0, py = 0, pw = 0, ph = 0;
    PictureOf(*state, px, py, pw, ph);
    *x = int32_t(std::floor(px + (*x + 0.5) * pw / state->virtual_w));
    *y = int32_t(std::floor(py + (*y + 0.5) * ph / state->virtual_h));
}

// Runs first on the event chain: mouse events of graphics drawn at a virtual resolution carry
// virtual positions, so every later hook and the polled input see those.
Ref<TObject> VirtualMouseHook(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    auto* event = dynamic_cast<TEvent*>(data.get());
    if (!event || event->id < EVENT_MOUSEDOWN || event->id > EVENT_MOUSELEAVE) return data;
    auto* state = dynamic_cast<TZeph2DGraphics*>(CurrentGraphics().get());
    if (!state || state->virtual_w <= 0) return data;
    double x = 0, y = 0;
    MapToVirtual(*state, event->x, event->y, x, y);
    event->x = int32_t(std::floor(x));
    event->y = int32_t(std::floor(y));
    return data;
}

}  // namespace

void VirtualPicture(int window_w, int window_h, int width, int height, int& x, int& y, int& w, int& h) {
    x = y = 0;
    w = window_w;
    h = window_h;
    if (width < 1 || height < 1 || window_w < 1 || window_h < 1) return;
    // Compared in integers, so that an exact fit has no bar at all.
    const int64_t across = int64_t(window_w) * height, down = int64_t(window_h) * width;
    if (across <= down) {
        h = int((across * 2 + width) / (2 * int64_t(width)));  // window_w * height / width, rounded
    } else {
        w = int((down * 2 + height) / (2 * int64_t(height)));
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    x = (window_w - w) / 2;
    y = (window_h - h) / 2;
}

void SetVirtualResolution(int width, int height) {
    TZeph2DGraphics& s = State();
    if (Draw2DModule().target) throw TRuntimeException("No virtual resolution while drawing into an image");
    if (width < 1 || height < 1) width = height = 0;
    if (width == s.virtual_w && height == s.virtual_h) return;
    int old_w = 0, old_h = 0;
    DrawingArea(s, old_w, old_h);
    const bool whole = s.viewport_x == 0 && s.viewport_y == 0 && s.viewport_w == old_w && s.viewport_h == old_h;
    s.virtual_w = width;
    s.virtual_h = height;
    Driver().SetVirtualResolution(width, height);
    if (whole) {
        // The default viewport covers the new drawing area.
        s.viewport_w = width;
        s.viewport_h = height;
        if (width == 0) DrawingArea(s, s.viewport_w, s.viewport_h);
    }
    corvex::SetViewport(s.viewport_x, s.viewport_y, s.viewport_w, s.viewport_h);
}

void GetVirtualResolution(int& width, int& height) {
    const TZeph2DGraphics& s = State();
    width = s.virtual_w;
    height = s.virtual_h;
}

void WindowToVirtual(float window_x, float window_y, float& x, float& y) {
    const TZeph2DGraphics& s = State();
    if (s.virtual_w <= 0) {
        x = window_x;
        y = window_y;
        return;
    }
    double vx = 0, vy = 0;
    MapToVirtual(s, window_x, window_y, vx, vy);
    x = float(vx);
    y = float(vy);
}

void VirtualToWindow(float x, float y, float& window_x, float& window_y) {
    const TZeph2DGraphics& s = State();
    if (s.virtual_w <= 0) {
        window_x = x;
        window_y = y;
        return;
    }
    int px = 0, py = 0, pw = 0, ph = 0;
    PictureOf(s, px, py, pw, ph);
    window_x = float(px + double(x) * pw / s.virtual_w);
    window_y = float(py + double(y) * ph / s.virtual_h);
}

void PushDrawState() {
    TZeph2DGraphics& s = State();
    if (s._saved.size() >= 1024) throw TRuntimeException("Too many drawing states pushed");
    TZeph2DGraphics::TSaved v{};
    v.color[0] = s.color_red;
    v.color[1] = s.color_green;
    v.color[2] = s.color_blue;
    v.clscolor[0] = s.clscolor_red;
    v.clscolor[1] = s.clscolor_green;
    v.clscolor[2] = s.clscolor_blue;
    v.blend = s.blend_mode;
    v.viewport[0] = s.viewport_x;
    v.viewport[1] = s.viewport_y;
    v.viewport[2] = s.viewport_w;
    v.viewport[3] = s.viewport_h;
    v.alpha = s.color_alpha;
    v.line_width = s.line_width;
    v.rot = s.tform_rot;
    v.scale_x = s.tform_scale_x;
    v.scale_y = s.tform_scale_y;
    v.origin_x = s.origin_x;
    v.origin_y = s.origin_y;
    v.handle_x = s.handle_x;
    v.handle_y = s.handle_y;
    float view[6] = {s.view_x, s.view_y, s.view_zoom, s.view_rot, s.view_anchor_x, s.view_anchor_y};
    std::copy(view, view + 6, v.view);
    v.font = s.image_font;
    s._saved.push_back(std::move(v));
}

int32_t PopDrawState() {
    TZeph2DGraphics& s = State();
    if (s._saved.empty()) return 0;
    TZeph2DGraphics::TSaved v = std::move(s._saved.back());
    s._saved.pop_back();
    s.color_red = v.color[0];
    s.color_green = v.color[1];
    s.color_blue = v.color[2];
    s.clscolor_red = v.clscolor[0];
    s.clscolor_green = v.clscolor[1];
    s.clscolor_blue = v.clscolor[2];
    s.blend_mode = v.blend;
    s.viewport_x = v.viewport[0];
    s.viewport_y = v.viewport[1];
    s.viewport_w = v.viewport[2];
    s.viewport_h = v.viewport[3];
    s.color_alpha = v.alpha;
    s.line_width = v.line_width;
    s.tform_rot = v.rot;
    s.tform_scale_x = v.scale_x;
    s.tform_scale_y = v.scale_y;
    s.origin_x = v.origin_x;
    s.origin_y = v.origin_y;
    s.handle_x = v.handle_x;
    s.handle_y = v.handle_y;
    s.image_font = v.font;
    // The view first: Validate sends the matrix through it.
    SetView(v.view[0], v.view[1], v.view[2], v.view[3], v.view[4], v.view[5]);
    s.Validate();
    return 1;
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
    float px = x + s.origin_x, py = y + s.origin_y;
    Place(s, px, py);
    Driver().Plot(px, py);
}

void DrawLine(float x1, float y1, float x2, float y2, int draw_last_pixel) {
    const TZeph2DGraphics& s = State();
    TZeph2DDriver& d = Driver();
    float hx = s.handle_x, hy = s.handle_y;
    float tx = x1 + s.origin_x, ty = y1 + s.origin_y;
    Place(s, tx, ty);
    d.DrawLine(hx, hy, hx + (x2 - x1), hy + (y2 - y1), tx, ty);
    if (draw_last_pixel) {
        // Summed left to right, x1 before the origin: the float result depends on the order.
        float px = hx + x2 - x1, py = hy + y2 - y1;
        float ex = px * s.tform_ix + py * s.tform_iy + x1 + s.origin_x;
        float ey = px * s.tform_jx + py * s.tform_jy + y1 + s.origin_y;
        Place(s, ex, ey);
        d.Plot(ex, ey);
    }
}

void DrawRect(float x, float y, float width, float height) {
    const TZeph2DGraphics& s = State();
    float hx = s.handle_x, hy = s.handle_y;
    float tx = x + s.origin_x, ty = y + s.origin_y;
    Place(s, tx, ty);
    Driver().DrawRect(hx, hy, hx + width, hy + height, tx, ty);
}

void DrawOval(float x, float y, float width, float height) {
    const TZeph2DGraphics& s = State();
    float hx = s.handle_x, hy = s.handle_y;
    float tx = x + s.origin_x, ty = y + s.origin_y;
    Place(s, tx, ty);
    Driver().DrawOval(hx, hy, hx + width, hy + height, tx, ty);
}

void DrawPoly(const std::vector<float>& xy) {
    const TZeph2DGraphics& s = State();
    float ox = s.origin_x, oy = s.origin_y;
    Place(s, ox, oy);
    Driver().DrawPoly(xy, s.handle_x, s.handle_y, ox, oy);
}

void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y) { Driver().DrawPixmap(pixmap, x, y); }

Ref<TPixmap> GrabPixmap(int x, int y, int width, int height) { return Driver().GrabPixmap(x, y, width, height); }

void FlushDrawing() {
    if (TZeph2DDriver* driver = Draw2DModule().driver.get()) driver->FlushDrawing();
}

bool TImageFrame::DrawPart(float, float, float, float, float, float, int, int, int, int) { return false; }
bool TImageFrame::WritePart(const Ref<TPixmap>&, int, int) { return false; }

}  // namespace corvex

// The drawing layer's state: the current drawing state and driver, image defaults, the font
// loader chain. In-tree code only.
#pragma once

#include <corvex/draw2d/blend.h>
#include <corvex/draw2d/image.h>
#include <corvex/draw2d/imagefont.h>
#include <corvex/draw2d/zeph2d.h>
#include <corvex/runtime/chain.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace corvex {

// Sine and cosine of the turns met lately, keyed by the exact bits of the degrees: sprites drawn at
// the same turns frame after frame skip the library's sin and cos. The values are the very floats
// computing them again would give, so nothing drawn changes.
struct TTurnCache {
    struct TSlot {
        uint32_t bits;  // the degrees' float bits
        float sin, cos;
    };
    static constexpr size_t kSlots = 8192;  // 96 KB; the index below takes the top 13 bits of a hash
    std::array<TSlot, kSlots> slots;

    TTurnCache();  // every slot holds 0 degrees
    // sin and cos of degrees, as float(std::sin(degrees * pi / 180 in double)).
    void Get(float degrees, float& sin_r, float& cos_r) {
        uint32_t bits;
        static_assert(sizeof bits == sizeof degrees);
        std::memcpy(&bits, &degrees, sizeof bits);
        TSlot& slot = slots[(bits * 2654435761u) >> 19];
        if (slot.bits != bits) Fill(slot, bits, degrees);
        sin_r = slot.sin;
        cos_r = slot.cos;
    }
    static void Fill(TSlot& slot, uint32_t bits, float degrees);
};

struct TDraw2DModule {
    Ref<TZeph2DGraphics> current;     // the current drawing state
    Ref<TZeph2DDriver> driver;        // its driver
    Ref<TImageFont> default_font;     // built with the first drawing state
    int mask_red = 0, mask_green = 0, mask_blue = 0;  // made transparent in masked images
    int auto_mid_handle = 0;          // centre the handle of new images
    int auto_image_flags = IMAGE_MASKED | IMAGE_FILTERED;  // used when -1 is passed
    TChain<TFontLoader> font_loaders; // newest first
    Ref<TImage> target;               // the render image drawn into; Null: the graphics
    Ref<TZeph2DGraphics> target_return;  // the drawing state to go back to from it
    TTurnCache turns;                 // sin and cos for UpdateTransform

    void Reset();  // for tests: back to the values before the first drawing state
};
TDraw2DModule& Draw2DModule();

// Ends drawing into the render image, reading its pixels back; then, when asked, makes the
// state drawing was taken from current again.
void LeaveRenderImage(bool make_return_current);

// Moves a drawing position (origin already added) through the state's view into window pixels.
inline void PlaceThroughView(const TZeph2DGraphics& state, float& x, float& y) {
    if (!state._view_on) return;
    float px = x, py = y;
    x = state._view_a * px + state._view_b * py + state._view_tx;
    y = state._view_c * px + state._view_d * py + state._view_ty;
}

}  // namespace corvex

// The drawing layer's state: the current drawing state and driver, image defaults, the font
// loader chain. In-tree code only.
#pragma once

#include <corvex/draw2d/blend.h>
#include <corvex/draw2d/image.h>
#include <corvex/draw2d/imagefont.h>
#include <corvex/draw2d/zeph2d.h>
#include <corvex/runtime/chain.h>

namespace corvex {

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

    void Reset();  // for tests: back to the values before the first drawing state
};
TDraw2DModule& Draw2DModule();

// Ends drawing into the render image, reading its pixels back; then, when asked, makes the
// state drawing was taken from current again.
void LeaveRenderImage(bool make_return_current);

// Moves a drawing position (origin already added) through the state's view into window pixels.
void PlaceThroughView(const TZeph2DGraphics& state, float& x, float& y);

}  // namespace corvex

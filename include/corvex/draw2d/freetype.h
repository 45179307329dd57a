// Outline fonts (TrueType, OpenType and TrueType collections) through FreeType, as a font loader
// on the image-font chain: once the module has started, LoadImageFont("DejaVuSans.ttf", 24)
// reads any URL (files, incbin::, streams) and gives a TImageFont whose glyphs are rasterised
// the first time they are drawn or measured. Glyphs are anti-aliased white ink with coverage in
// alpha (draw them with BLEND_ALPHA); advances, kerning and the line height are the face's own,
// rounded to whole pixels so that TextWidth and DrawText agree.
#pragma once

#include <corvex/draw2d/imagefont.h>

namespace corvex {

// --- Style bits for LoadImageFont -------------------------------------------------------------
constexpr int FONT_BOLD = 1;        // the face's bold style, or the outline emboldened
constexpr int FONT_ITALIC = 2;      // the face's italic style, or the outline slanted
constexpr int FONT_MONOCHROME = 4;  // hinted one-bit glyphs instead of anti-aliased ones
constexpr int FONT_SMOOTH = 16;     // glyph images filtered and mipmapped, for scaled text

constexpr int FONT_MIN_SIZE = 1;     // smallest pixel size loaded
constexpr int FONT_MAX_SIZE = 1024;  // largest pixel size loaded; sizes outside give Null

// Reads outline fonts through FreeType; files it cannot read give Null.
class TFreeTypeFontLoader : public TFontLoader {
public:
    Ref<TFont> LoadFont(const TUrl& url, int size, int style) override;  // Null: not a font or bad size
};

// --- Start-up ----------------------------------------------------------------------------------
void StartFreeTypeFontModule();  // module "freetype"; starts "draw2d" first, adds the loader

}  // namespace corvex

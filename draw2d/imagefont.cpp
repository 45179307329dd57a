#include <corvex/draw2d/imagefont.h>

#include "stream/fontbits.h"
#include <corvex/runtime/exception.h>
#include "draw2d/draw2d_module.h"

namespace corvex {

namespace {

constexpr int kFirstCode = 32;
constexpr int kGlyphCount = 96;
constexpr int kCellWidth = 8;
constexpr int kCellHeight = 16;

TZeph2DGraphics& State() {
    TZeph2DGraphics* state = Draw2DModule().current.get();
    if (!state) throw TRuntimeException("No graphics are current");
    return *state;
}

}  // namespace

void TImageGlyph::GetRect(int& x, int& y, int& width, int& height) {
    x = _x;
    y = _y;
    width = _w;
    height = _h;
}

int TImageFont::Style() { return _src_font ? _src_font->Style() : 0; }
int TImageFont::Height() { return _src_font ? _src_font->Height() : kCellHeight; }
int TImageFont::CountGlyphs() { return int(_glyphs.size()); }

int TImageFont::CharToGlyph(int code) {
    if (_src_font) return _src_font->CharToGlyph(code);
    return code >= kFirstCode && code < kFirstCode + kGlyphCount ? code - kFirstCode : -1;
}

Ref<TImageGlyph> TImageFont::LoadGlyph(int index) {
    if (index < 0 || size_t(index) >= _glyphs.size()) return nullptr;  // a source font's bad answer
    Ref<TImageGlyph>& slot = _glyphs[size_t(index)];
    if (slot || !_src_font) return slot;
    slot = std::make_shared<TImageGlyph>();
    Ref<TImageGlyph> glyph = slot;
    Ref<TGlyph> source = _src_font->LoadGlyph(index);
    if (!source) return glyph;
    glyph->_advance = source->Advance();
    source->GetRect(glyph->_x, glyph->_y, glyph->_w, glyph->_h);
    if (auto pixmap = std::dynamic_pointer_cast<TPixmap>(source->Pixels()))
        glyph->_image = TImage::Load(pixmap->Copy(), _imageFlags, 0, 0, 0);
    return glyph;
}

void TImageFont::Draw(const TString& text, float x, float y, float ix, float iy, float jx, float jy) {
    for (char16_t c : text) {
        int index = CharToGlyph(int(c));
        if (index < 0) continue;
        Ref<TImageGlyph> glyph = LoadGlyph(index);
        if (!glyph) continue;
        if (glyph->_image) {
            if (Ref<TImageFrame> frame = glyph->_image->Frame(0)) {
                float gx = float(glyph->_x), gy = float(glyph->_y);
                frame->Draw(0, 0, float(glyph->_image->width), float(glyph->_image->height), gx * ix + gy * iy + x,
                            gx * jx + gy * jy + y);
            }
        }
        x = x + glyph->_advance * ix;
        y = y + glyph->_advance * jx;
    }
}

Ref<TImageFont> TImageFont::Load(const TUrl& url, int size, int style) {
    Ref<TFont> source = LoadFont(url, size, style);
    if (!source) return nullptr;
    auto font = std::make_shared<TImageFont>();
    font->_src_font = source;
    int count = source->CountGlyphs();
    font->_glyphs.assign(count > 0 ? size_t(count) : 0, nullptr);
    font->_imageFlags = (style & 16) ? IMAGE_FILTERED | IMAGE_MIPMAPPED : 0;
    return font;
}

Ref<TImageFont> TImageFont::CreateDefault() {
    auto font = std::make_shared<TImageFont>();
    font->_glyphs.assign(kGlyphCount, nullptr);
    Ref<TPixmap> strip = TPixmap::Create(kGlyphCount * kCellWidth, kCellHeight, FORMAT_RGBA8888, 4);
    const uint8_t* bits = IncbinData("tundrafont.bin");
    if (!bits || IncbinSize("tundrafont.bin") < kBuiltinFontSize) bits = kBuiltinFontBits;
    for (int row = 0; row < kCellHeight; ++row)
        for (int glyph = 0; glyph < kGlyphCount; ++glyph)
            for (int bit = 0; bit < 8; ++bit) {
                bool ink = (bits[row * kGlyphCount + glyph] >> bit) & 1;
                strip->WritePixel(glyph * kCellWidth + bit, row, ink ? 0xFFFFFFFFu : 0u);
            }
    for (int i = 0; i < kGlyphCount; ++i) {
        auto glyph = std::make_shared<TImageGlyph>();
        glyph->_advance = float(kCellWidth);
        glyph->_w = kCellWidth;
        glyph->_h = kCellHeight;
        glyph->_image = TImage::Load(strip->Window(i * kCellWidth, 0, kCellWidth, kCellHeight)->Copy(), 0, 0, 0, 0);
        font->_glyphs[size_t(i)] = glyph;
    }
    return font;
}

// ---- Font loaders

void AddFontLoader(const Ref<TFontLoader>& loader) { Draw2DModule().font_loaders.Push(loader); }

Ref<TFont> LoadFont(const TUrl& url, int size, int style) {
    for (Ref<TFontLoader> l = Draw2DModule().font_loaders.First(); l; l = l->Succ())
        if (Ref<TFont> font = l->LoadFont(url, size, style)) return font;
    return nullptr;
}

// ---- Text

void DrawText(const TString& text, float x, float y) {
    TZeph2DGraphics& s = State();
    float hx = s.handle_x, hy = s.handle_y;
    float ix = s.tform_ix, iy = s.tform_iy, jx = s.tform_jx, jy = s.tform_jy;
    s.image_font->Draw(text, x + s.origin_x + hx * ix + hy * iy, y + s.origin_y + hx * jx + hy * jy, ix, iy, jx, jy);
}

void DrawText(std::string_view utf8, float x, float y) { DrawText(FromUtf8(utf8), x, y); }

int TextWidth(const TString& text) {
    TImageFont& font = *State().image_font;
    int width = 0;
    for (char16_t c : text) {
        int index = font.CharToGlyph(int(c));
        if (index < 0) continue;
        Ref<TImageGlyph> glyph = font.LoadGlyph(index);
        if (glyph) width = int(float(width) + glyph->_advance);
    }
    return width;
}

int TextWidth(std::string_view utf8) { return TextWidth(FromUtf8(utf8)); }

int TextHeight() { return State().image_font->Height(); }

void SetImageFont(const Ref<TImageFont>& font) {
    State().image_font = font ? font : Draw2DModule().default_font;
}

Ref<TImageFont> GetImageFont() { return State().image_font; }

Ref<TImageFont> LoadImageFont(const TUrl& url, int size, int style) { return TImageFont::Load(url, size, style); }

}  // namespace corvex

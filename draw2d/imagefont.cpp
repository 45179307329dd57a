#include <corvex/draw2d/imagefont.h>

#include <algorithm>

#include "stream/fontbits.h"
#include <corvex/runtime/exception.h>
#include "draw2d/draw2d_module.h"

namespace corvex {

namespace {

constexpr int kFirstCode = 32;
constexpr int kGlyphCount = 96;
constexpr int kCellWidth = 8;
constexpr int kCellHeight = 16;

// The character at text[i], a surrogate pair read as one when the font has a source font (the
// built-in font has no glyph for either); i moves past it.
int NextCode(const TString& text, size_t& i, bool pairs) {
    const char16_t c = text[i++];
    if (pairs && c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
        return 0x10000 + ((int(c) - 0xD800) << 10) + (int(text[i++]) - 0xDC00);
    return int(c);
}

TZeph2DGraphics& State() {
    TZeph2DGraphics* state = Draw2DModule().current.get();
    if (!state) throw TRuntimeException("No graphics are current");
    return *state;
}

}  // namespace

// The glyphs of a font packed into one image, so that a string is drawn from one texture. Each
// glyph's pixels sit in a cell surrounded by kPad copies of its own edge texels: filtering at the
// glyph's border reaches those and reads what the glyph's own clamped (or edge-padded) texture
// would give, never a neighbour. Mipmapped glyphs stay out: their smaller levels would average
// across cells. So do glyphs of other filtering than the first one placed, glyphs without pixels
// and big glyphs; they draw from their own image as before. A glyph whose image was written to
// since it was copied is copied again into its cell; only the cells that changed go to the
// texture, unless the atlas had to grow.
struct TGlyphAtlas {
    static constexpr int kPad = 2;
    static constexpr int kMaxGlyph = 256;
    static constexpr int kMaxSize = 2048;
    static constexpr int kOutside = -2;  // cell x of a glyph that draws on its own

    struct Cell {
        const TImage* image = nullptr;    // the glyph image and pixmap the cell was made from
        const TPixmap* pixmap = nullptr;
        int x = -1, y = -1, w = 0, h = 0; // x -1: not looked at yet
        uint32_t edits = 0;               // the image's edit count when its pixels were copied
    };
    struct Rect {
        int x, y, w, h;
    };

    int filtered = -1;  // IMAGE_FILTERED of every glyph in it; -1 before the first
    Ref<TPixmap> pixels;
    Ref<TImage> image;
    std::vector<Cell> cells;  // per glyph index
    int shelf_x = 0, shelf_y = 0, shelf_h = 0;
    std::vector<Rect> changed;  // cells written since the last Update

    // The glyph's cell, placing it when it is new and copying it again when it was edited;
    // nullptr when it draws on its own.
    const Cell* Place(size_t index, const TImageGlyph& glyph) {
        if (index >= cells.size()) cells.resize(index + 1);
        Cell& cell = cells[index];
        TImage* img = glyph._image.get();
        const TPixmap* pm = img && !img->pixmaps.empty() ? img->pixmaps[0].get() : nullptr;
        bool same = cell.image == img && cell.pixmap == pm;
        if (!same || (cell.x >= 0 && img->edits != cell.edits)) {
            // New pixels of the cell's size and kind go where the old ones were.
            if (cell.x >= 0 && Fits(*img) && pm->width == cell.w && pm->height == cell.h) {
                cell.image = img;
                cell.pixmap = pm;
                Copy(cell, *img);
            } else {
                cell = Cell{img, pm};
            }
        }
        if (cell.x == -1) Fill(cell, *img);
        return cell.x >= 0 ? &cell : nullptr;
    }

    const Cell* Find(size_t index, const TImageGlyph& glyph) const {
        if (index >= cells.size()) return nullptr;
        const Cell& cell = cells[index];
        const TImage* img = glyph._image.get();
        if (cell.x < 0 || cell.image != img || img->pixmaps.empty() || cell.pixmap != img->pixmaps[0].get() ||
            cell.edits != img->edits)
            return nullptr;
        return &cell;
    }

    // Sends the changed cells to the texture. A new or grown atlas, or a frame that cannot take
    // part of its pixels, is made anew from the whole pixmap; a frame of an earlier context is
    // made from it when next drawn.
    void Update() {
        if (changed.empty()) return;
        if (!image || image->width != pixels->width || image->height != pixels->height)
            image = TImage::Create(pixels->width, pixels->height, 1, filtered ? IMAGE_FILTERED : 0, 0, 0, 0);
        if (image->pixmaps[0] != pixels) {
            image->SetPixmap(0, pixels);
        } else if (image->frames[0] && image->seqs[0] == GraphicsSequence()) {
            for (const Rect& r : changed) {
                if (!image->frames[0]->WritePart(pixels->Window(r.x, r.y, r.w, r.h), r.x, r.y)) {
                    image->SetPixmap(0, pixels);
                    break;
                }
            }
        }
        changed.clear();
    }

private:
    // Whether an image of this kind may go in.
    bool Fits(const TImage& img) const {
        if (img.pixmaps.empty() || !img.pixmaps[0] || (img.flags & IMAGE_MIPMAPPED)) return false;
        int f = (img.flags & IMAGE_FILTERED) ? 1 : 0;
        return filtered < 0 || f == filtered;
    }

    void Fill(Cell& cell, TImage& img) {
        cell.x = kOutside;
        if (!cell.pixmap || !Fits(img)) return;
        const TPixmap& source = *img.pixmaps[0];
        int w = source.width, h = source.height;
        if (w <= 0 || h <= 0 || w > kMaxGlyph || h > kMaxGlyph) return;
        int cw = w + 2 * kPad, ch = h + 2 * kPad;
        if (!Allocate(cw, ch)) return;
        filtered = (img.flags & IMAGE_FILTERED) ? 1 : 0;
        cell.x = shelf_x;
        cell.y = shelf_y;
        cell.w = w;
        cell.h = h;
        shelf_x += cw;
        shelf_h = std::max(shelf_h, ch);
        Copy(cell, img);
    }

    // The image's pixels into its cell, with their edge copies around them.
    void Copy(Cell& cell, TImage& img) {
        Ref<TPixmap> source = img.pixmaps[0];
        int w = cell.w, h = cell.h, cw = w + 2 * kPad, ch = h + 2 * kPad;
        int x = cell.x, y = cell.y;
        TPixmap& dst = *pixels;
        dst.Paste(*source, x + kPad, y + kPad);
        for (int k = 0; k < kPad; ++k) {
            dst.Paste(*source->Window(0, 0, 1, h), x + k, y + kPad);
            dst.Paste(*source->Window(w - 1, 0, 1, h), x + kPad + w + k, y + kPad);
        }
        for (int k = 0; k < kPad; ++k) {
            dst.Paste(*dst.Window(x, y + kPad, cw, 1), x, y + k);
            dst.Paste(*dst.Window(x, y + kPad + h - 1, cw, 1), x, y + kPad + h + k);
        }
        cell.edits = img.edits;
        changed.push_back(Rect{x, y, cw, ch});
    }

    // Finds room for a cw x ch cell on the shelves, growing the pixmap (powers of two) as needed.
    bool Allocate(int cw, int ch) {
        if (!pixels) Resize(256, 128);
        for (;;) {
            if (shelf_x + cw > pixels->width && shelf_x > 0) {
                shelf_y += shelf_h;
                shelf_x = 0;
                shelf_h = 0;
            }
            if (shelf_x + cw <= pixels->width && shelf_y + ch <= pixels->height) return true;
            if (pixels->height < kMaxSize) {
                Resize(pixels->width, pixels->height * 2);
            } else if (pixels->width < kMaxSize) {
                Resize(pixels->width * 2, pixels->height);
            } else {
                return false;
            }
        }
    }

    void Resize(int width, int height) {
        Ref<TPixmap> grown = TPixmap::Create(width, height, FORMAT_RGBA8888, 4);
        grown->ClearPixels(0);
        if (pixels) grown->Paste(*pixels, 0, 0);
        pixels = grown;
    }
};

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

float TImageFont::Kerning(int left, int right) { return _src_font ? _src_font->Kerning(left, right) : 0.0f; }

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
    if (text.empty()) return;
    if (!_atlas) _atlas = std::make_shared<TGlyphAtlas>();
    TGlyphAtlas& atlas = *_atlas;
    // The glyph for a code, made on demand for a source font; the table keeps it alive.
    auto glyph_at = [this](int index) -> TImageGlyph* {
        if (index < 0 || size_t(index) >= _glyphs.size()) return nullptr;
        TImageGlyph* glyph = _glyphs[size_t(index)].get();
        return glyph || !_src_font ? glyph : LoadGlyph(index).get();
    };
    // The glyph index of each character that has one, looked up once per draw; reused between
    // calls (main thread only, and nothing below draws text).
    static std::vector<int> indices;
    indices.clear();
    const bool source = _src_font != nullptr;
    for (size_t i = 0; i < text.size();) {
        const int index = CharToGlyph(NextCode(text, i, source));
        if (index >= 0) indices.push_back(index);
    }
    // A complete font goes in whole the first time. The string's glyphs are placed (or copied
    // again when edited) before it is drawn, so the atlas goes to the renderer at most once per string.
    if (!source && atlas.cells.empty()) {
        for (size_t i = 0; i < _glyphs.size(); ++i)
            if (_glyphs[i] && _glyphs[i]->_image) atlas.Place(i, *_glyphs[i]);
    }
    for (int index : indices) {
        TImageGlyph* glyph = glyph_at(index);
        if (glyph && glyph->_image) atlas.Place(size_t(index), *glyph);
    }
    atlas.Update();
    TImageFrame* atlas_frame = atlas.image ? atlas.image->Frame(0).get() : nullptr;  // kept by the image
    constexpr int pad = TGlyphAtlas::kPad;
    int previous = -1;
    for (int index : indices) {
        TImageGlyph* glyph = glyph_at(index);
        if (!glyph) continue;
        if (source && previous >= 0) {
            const float kern = _src_font->Kerning(previous, index);
            x = x + kern * ix;
            y = y + kern * jx;
        }
        previous = index;
        if (TImage* image = glyph->_image.get()) {
            float gx = float(glyph->_x), gy = float(glyph->_y);
            float w = float(image->width), h = float(image->height);
            const TGlyphAtlas::Cell* cell = atlas_frame ? atlas.Find(size_t(index), *glyph) : nullptr;
            bool drawn = cell && atlas_frame->DrawPart(0, 0, w, h, gx * ix + gy * iy + x, gx * jx + gy * jy + y,
                                                       cell->x + pad, cell->y + pad, cell->x + pad + cell->w,
                                                       cell->y + pad + cell->h);
            if (!drawn) {
                if (Ref<TImageFrame> frame = image->Frame(0))
                    frame->Draw(0, 0, w, h, gx * ix + gy * iy + x, gx * jx + gy * jy + y);
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
    float tx = x + s.origin_x + hx * ix + hy * iy, ty = y + s.origin_y + hx * jx + hy * jy;
    if (s._view_on) {
        // Glyphs are laid out along the matrix the driver has: the view's after the state's.
        PlaceThroughView(s, tx, ty);
        float a = s._view_a, b = s._view_b, c = s._view_c, d = s._view_d;
        float vix = a * ix + b * jx, viy = a * iy + b * jy, vjx = c * ix + d * jx, vjy = c * iy + d * jy;
        ix = vix;
        iy = viy;
        jx = vjx;
        jy = vjy;
    }
    s.image_font->Draw(text, tx, ty, ix, iy, jx, jy);
}

void DrawText(std::string_view utf8, float x, float y) { DrawText(FromUtf8(utf8), x, y); }

int TextWidth(const TString& text) {
    TImageFont& font = *State().image_font;
    int width = 0;
    const bool source = font._src_font != nullptr;
    int previous = -1;
    for (size_t i = 0; i < text.size();) {
        int index = font.CharToGlyph(NextCode(text, i, source));
        if (index < 0) continue;
        Ref<TImageGlyph> glyph = font.LoadGlyph(index);
        if (!glyph) continue;
        // Kerning moves the pen before the glyph, as Draw does.
        const float kern = source && previous >= 0 ? font.Kerning(previous, index) : 0.0f;
        previous = index;
        width = int(float(width) + kern + glyph->_advance);
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

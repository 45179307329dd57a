// TrueType and OpenType faces through FreeType. The whole file is read into memory once and
// FreeType reads the face from there, so any URL works; each glyph is loaded, emboldened or
// slanted when the face lacks the style, and rendered only when the image font asks for it.
#include <corvex/draw2d/freetype.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <array>
#include <memory>
#include <cstring>
#include <vector>

#include <corvex/pixmap/pixmap.h>
#include <corvex/runtime/module.h>
#include <corvex/stream/stream.h>

namespace corvex {
namespace {

constexpr int32_t kMaxFileBytes = 64 << 20;  // bigger than any CJK face in common use
constexpr int kMaxFacesTried = 64;           // faces of a collection looked at for a style

int Pixels26(FT_Pos value) { return static_cast<int>((value + 32) >> 6); }  // 26.6 to whole pixels

// The whole stream, or nothing when it cannot be read or is beyond kMaxFileBytes.
bool ReadAll(const TUrl& url, std::vector<uint8_t>& out) {
    Ref<TStream> stream = ReadUrlStream(url);
    if (!stream) return false;
    bool ok = true;
    try {
        uint8_t chunk[65536];
        for (;;) {
            const int32_t n = stream->Read(chunk, sizeof chunk);
            if (n <= 0) break;
            if (out.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxFileBytes)) {
                ok = false;
                break;
            }
            out.insert(out.end(), chunk, chunk + n);
        }
    } catch (const TException&) {
        ok = false;
    }
    stream->Close();
    return ok && !out.empty();
}

class TFreeTypeGlyph : public TGlyph {
public:
    Ref<TPixmap> pixels;  // Null for a glyph without ink
    float advance = 0;
    int x = 0, y = 0, w = 0, h = 0;

    Ref<TObject> Pixels() override { return pixels; }
    float Advance() override { return advance; }
    void GetRect(int& rx, int& ry, int& rw, int& rh) override {
        rx = x;
        ry = y;
        rw = w;
        rh = h;
    }
};

class TFreeTypeFont : public TFont {
public:
    ~TFreeTypeFont() override {
        if (_face) FT_Done_Face(_face);
        if (_library) FT_Done_FreeType(_library);
    }

    bool Open(std::vector<uint8_t> data, int size, int style) {
        _data = std::move(data);
        _style = style;
        _size = size;
        if (FT_Init_FreeType(&_library) != 0) return false;
        if (!OpenFace(0)) return false;
        const long faces = std::min<long>(_face->num_faces, kMaxFacesTried);
        // In a collection, the face that has the asked-for style itself.
        const long wanted = ((style & FONT_BOLD) ? FT_STYLE_FLAG_BOLD : 0) | ((style & FONT_ITALIC) ? FT_STYLE_FLAG_ITALIC : 0);
        if (faces > 1 && (_face->style_flags & (FT_STYLE_FLAG_BOLD | FT_STYLE_FLAG_ITALIC)) != wanted) {
            for (long i = 1; i < faces; ++i) {
                FT_Face other = nullptr;
                if (FT_New_Memory_Face(_library, _data.data(), static_cast<FT_Long>(_data.size()), i, &other) != 0) continue;
                const bool match = (other->style_flags & (FT_STYLE_FLAG_BOLD | FT_STYLE_FLAG_ITALIC)) == wanted;
                FT_Done_Face(other);
                if (match) {
                    if (!OpenFace(i)) return false;
                    break;
                }
            }
        }
        if (FT_HAS_KERNING(_face)) _kerns = std::make_unique<std::array<TKern, 1 << kKernBits>>();
        _emboldened = (style & FONT_BOLD) && !(_face->style_flags & FT_STYLE_FLAG_BOLD);
        _slanted = (style & FONT_ITALIC) && !(_face->style_flags & FT_STYLE_FLAG_ITALIC);
        const FT_Size_Metrics& m = _face->size->metrics;
        _ascent = Pixels26(m.ascender);
        _height = Pixels26(m.height);
        if (_height <= 0 || _height > 4 * size) _height = Pixels26(m.ascender - m.descender);
        if (_height <= 0 || _height > 4 * size) _height = size;
        if (_ascent <= 0 || _ascent > 4 * size) _ascent = size - size / 5;
        return true;
    }

    int Style() override { return _style; }
    int Height() override { return _height; }
    int CountGlyphs() override { return static_cast<int>(_face->num_glyphs); }

    // Text asks once per character, so answers are kept in pages of 256 codes made on first use.
    int CharToGlyph(int code) override {
        if (code < 0 || code > 0x10FFFF) return -1;
        auto& page = _charPages[static_cast<size_t>(code >> 8)];
        if (!page) {
            page = std::make_unique<std::array<int32_t, 256>>();
            page->fill(kUnknown);
        }
        int32_t& slot = (*page)[static_cast<size_t>(code & 255)];
        if (slot == kUnknown) {
            const FT_UInt index = FT_Get_Char_Index(_face, static_cast<FT_ULong>(code));
            slot = index == 0 || index >= static_cast<FT_UInt>(_face->num_glyphs) ? -1 : static_cast<int32_t>(index);
        }
        return slot;
    }

    // Asked for every pair of neighbours: answers are kept in a direct-mapped table.
    float Kerning(int left, int right) override {
        if (!_kerns || left < 0 || right < 0) return 0;
        const uint32_t key = (static_cast<uint32_t>(left) << 16) ^ static_cast<uint32_t>(right);
        TKern& entry = (*_kerns)[(key * 2654435761u) >> (32 - kKernBits)];
        if (entry.left != left || entry.right != right) {
            FT_Vector delta{};
            const bool ok = FT_Get_Kerning(_face, static_cast<FT_UInt>(left), static_cast<FT_UInt>(right),
                                           FT_KERNING_DEFAULT, &delta) == 0;
            entry = {left, right, ok ? std::clamp(Pixels26(delta.x), -4 * _size, 4 * _size) : 0};
        }
        return static_cast<float>(entry.value);
    }

    Ref<TGlyph> LoadGlyph(int index) override {
        auto glyph = std::make_shared<TFreeTypeGlyph>();
        if (index < 0 || index >= _face->num_glyphs) return glyph;
        const bool mono = (_style & FONT_MONOCHROME) != 0;
        const FT_Int32 flags = (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL) | FT_LOAD_NO_BITMAP;
        if (FT_Load_Glyph(_face, static_cast<FT_UInt>(index), flags) != 0) return glyph;
        FT_GlyphSlot slot = _face->glyph;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            if (_emboldened) FT_GlyphSlot_Embolden(slot);
            if (_slanted) FT_GlyphSlot_Oblique(slot);
        }
        glyph->advance = static_cast<float>(std::clamp(Pixels26(slot->advance.x), -4 * _size, 4 * _size));
        // A hostile outline may span far more than the em; such a glyph keeps its advance only.
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_BBox box;
            FT_Outline_Get_CBox(&slot->outline, &box);
            const FT_Pos limit = static_cast<FT_Pos>(4 * _size + 64) * 64;
            if (box.xMax - box.xMin > limit || box.yMax - box.yMin > limit || box.xMin < -limit || box.xMax > limit ||
                box.yMin < -limit || box.yMax > limit)
                return glyph;
        }
        if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        const int w = static_cast<int>(bitmap.width), h = static_cast<int>(bitmap.rows);
        if (w <= 0 || h <= 0 || w > 8 * _size + 256 || h > 8 * _size + 256) return glyph;
        glyph->x = slot->bitmap_left;
        glyph->y = _ascent - slot->bitmap_top;
        glyph->w = w;
        glyph->h = h;
        // White ink, coverage in alpha, so the drawing colour tints it.
        Ref<TPixmap> pixmap = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
        for (int row = 0; row < h; ++row) {
            const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
            auto* dst = reinterpret_cast<uint32_t*>(pixmap->PixelPtr(0, row));
            for (int col = 0; col < w; ++col) {
                uint32_t alpha;
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                    alpha = (src[col >> 3] & (0x80 >> (col & 7))) ? 255u : 0u;
                else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                    alpha = bitmap.num_grays == 256 ? src[col] : src[col] * 255u / std::max(1u, bitmap.num_grays - 1u);
                else
                    alpha = 0;
                dst[col] = alpha ? (alpha << 24) | 0x00FFFFFFu : 0u;
            }
        }
        glyph->pixels = pixmap;
        return glyph;
    }

private:
    bool OpenFace(long index) {
        if (_face) FT_Done_Face(_face);
        _face = nullptr;
        if (FT_New_Memory_Face(_library, _data.data(), static_cast<FT_Long>(_data.size()), index, &_face) != 0) {
            _face = nullptr;
            return false;
        }
        if (!FT_IS_SCALABLE(_face) || _face->num_glyphs <= 0) return false;
        FT_Select_Charmap(_face, FT_ENCODING_UNICODE);
        return FT_Set_Pixel_Sizes(_face, 0, static_cast<FT_UInt>(_size)) == 0;
    }

    static constexpr int32_t kUnknown = -2;  // a code not looked up yet
    static constexpr int kKernBits = 12;
    struct TKern {
        int left = -1, right = -1, value = 0;
    };

    std::vector<uint8_t> _data;  // FreeType reads the face from here for the font's whole life
    std::array<std::unique_ptr<std::array<int32_t, 256>>, 0x1100> _charPages;  // codes 0..0x10FFFF
    std::unique_ptr<std::array<TKern, 1 << kKernBits>> _kerns;  // Null when the face has no kerning
    FT_Library _library = nullptr;
    FT_Face _face = nullptr;
    int _style = 0, _size = 0, _height = 0, _ascent = 0;
    bool _emboldened = false, _slanted = false;
};

}  // namespace

Ref<TFont> TFreeTypeFontLoader::LoadFont(const TUrl& url, int size, int style) {
    if (size < FONT_MIN_SIZE || size > FONT_MAX_SIZE) return nullptr;
    std::vector<uint8_t> data;
    if (!ReadAll(url, data)) return nullptr;
    auto font = std::make_shared<TFreeTypeFont>();
    if (!font->Open(std::move(data), size, style)) return nullptr;
    return font;
}

void StartFreeTypeFontModule() {
    StartDraw2DModule();
    if (BeginModuleStart("freetype")) AddFontLoader(std::make_shared<TFreeTypeFontLoader>());
}

}  // namespace corvex

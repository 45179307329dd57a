// Image fonts and text: a font is a table of glyphs, each a small image with an advance and an
// offset. Every drawing state starts with the built-in 8 x 16 font for codes 32 to 127, built
// from the embedded resource "tundrafont.bin". Fonts from font files come through a chain of
// loaders (newest first); none is registered by default.
#pragma once

#include <vector>

#include <corvex/draw2d/image.h>
#include <corvex/runtime/chain.h>
#include <corvex/runtime/string.h>

namespace corvex {

// ---- Abstract fonts, as font-file loaders produce them
class TGlyph : public TObject {
public:
    virtual Ref<TObject> Pixels() = 0;  // a TPixmap, or Null for a glyph without ink
    virtual float Advance() = 0;
    virtual void GetRect(int& x, int& y, int& width, int& height) = 0;
};

class TFont : public TObject {
public:
    virtual int Style() = 0;
    virtual int Height() = 0;
    virtual int CountGlyphs() = 0;
    virtual int CharToGlyph(int code) = 0;  // -1: no glyph
    virtual Ref<TGlyph> LoadGlyph(int index) = 0;
};

// Succ() is the loader added before it.
class TFontLoader : public TObject, public TChainLink<TFontLoader> {
public:
    virtual Ref<TFont> LoadFont(const TUrl& url, int size, int style) = 0;
};

// ---- Image fonts
class TImageGlyph : public TObject {
public:
    Ref<TImage> _image;  // Null: the glyph advances the pen and draws nothing
    float _advance = 0;
    int _x = 0, _y = 0, _w = 0, _h = 0;  // image placement relative to the pen

    Ref<TObject> Pixels() { return _image; }
    float Advance() { return _advance; }
    void GetRect(int& x, int& y, int& width, int& height);
};

struct TGlyphAtlas;  // the glyphs' pixels packed into one image, drawn as one texture

class TImageFont : public TObject {
public:
    Ref<TFont> _src_font;                  // Null for the built-in font
    std::vector<Ref<TImageGlyph>> _glyphs; // filled on demand when there is a source font
    int _imageFlags = 0;
    Ref<TGlyphAtlas> _atlas;               // made on the first Draw; glyphs that cannot go in draw alone

    int Style();
    int Height();
    int CountGlyphs();
    int CharToGlyph(int code);             // -1: no glyph
    Ref<TImageGlyph> LoadGlyph(int index);
    // Draws text with its pen at (x, y) in window pixels; the pen advances along (ix, jx).
    void Draw(const TString& text, float x, float y, float ix, float iy, float jx, float jy);

    static Ref<TImageFont> Load(const TUrl& url, int size, int style);  // Null when no loader reads it
    static Ref<TImageFont> CreateDefault();                             // the built-in font
};

// ---- Font loaders
void AddFontLoader(const Ref<TFontLoader>& loader);  // links it in front, once; Null: nothing
Ref<TFont> LoadFont(const TUrl& url, int size, int style);  // first loader's font, or Null

// ---- Text through the current drawing state (its handle, origin, matrix, colour and blend)
void DrawText(const TString& text, float x, float y);
void DrawText(std::string_view utf8, float x, float y);
int TextWidth(const TString& text);
int TextWidth(std::string_view utf8);
int TextHeight();
void SetImageFont(const Ref<TImageFont>& font);  // Null selects the built-in font
Ref<TImageFont> GetImageFont();
Ref<TImageFont> LoadImageFont(const TUrl& url, int size, int style = 0);

}  // namespace corvex

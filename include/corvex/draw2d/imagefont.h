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
// One glyph of a font: its ink, its advance and where the ink sits relative to the pen.
class TGlyph : public TObject {
public:
    virtual Ref<TObject> Pixels() = 0;  // a TPixmap, or Null for a glyph without ink
    virtual float Advance() = 0;  // pen movement after the glyph, in pixels
    virtual void GetRect(int& x, int& y, int& width, int& height) = 0;  // the ink's rectangle relative to the pen
};

// A font as a loader reads it: a table of glyphs and the map from character codes to them.
class TFont : public TObject {
public:
    virtual int Style() = 0;  // the style bits it was loaded with
    virtual int Height() = 0;  // line height in pixels
    virtual int CountGlyphs() = 0;  // number of glyphs; indices run from 0
    virtual int CharToGlyph(int code) = 0;  // -1: no glyph
    virtual Ref<TGlyph> LoadGlyph(int index) = 0;  // the glyph at index
    virtual float Kerning(int left, int right) { (void)left; (void)right; return 0; }  // pen shift between two glyph indices
};

// Reads font files of one kind. Succ() is the loader added before it.
class TFontLoader : public TObject, public TChainLink<TFontLoader> {
public:
    virtual Ref<TFont> LoadFont(const TUrl& url, int size, int style) = 0;  // Null: not this loader's kind
};

// ---- Image fonts
// A glyph of an image font: an image drawn at an offset from the pen.
class TImageGlyph : public TObject {
public:
    Ref<TImage> _image;  // Null: the glyph advances the pen and draws nothing
    float _advance = 0;  // pen movement after the glyph
    int _x = 0, _y = 0, _w = 0, _h = 0;  // image placement relative to the pen

    Ref<TObject> Pixels() { return _image; }  // the glyph's image, Null without ink
    float Advance() { return _advance; }  // pen movement after the glyph
    void GetRect(int& x, int& y, int& width, int& height);  // the image's placement relative to the pen
};

struct TGlyphAtlas;  // the glyphs' pixels packed into one image, drawn as one texture

// A font whose glyphs are images, drawn through the current drawing state.
class TImageFont : public TObject {
public:
    Ref<TFont> _src_font;                  // Null for the built-in font
    std::vector<Ref<TImageGlyph>> _glyphs; // filled on demand when there is a source font
    int _imageFlags = 0;                   // IMAGE_* flags of the glyph images
    Ref<TGlyphAtlas> _atlas;               // made on the first Draw; glyphs that cannot go in draw alone

    int Style();  // the source font's style, 0 for the built-in font
    int Height();  // line height in pixels
    int CountGlyphs();  // number of glyphs
    int CharToGlyph(int code);             // -1: no glyph
    Ref<TImageGlyph> LoadGlyph(int index);  // the glyph at index, made on first use
    float Kerning(int left, int right);     // pen shift between two glyph indices; 0 without a source font
    // Draws text with its pen at (x, y) in window pixels; the pen advances along (ix, jx).
    void Draw(const TString& text, float x, float y, float ix, float iy, float jx, float jy);

    static Ref<TImageFont> Load(const TUrl& url, int size, int style);  // Null when no loader reads it
    static Ref<TImageFont> CreateDefault();                             // the built-in font
};

// ---- Font loaders
void AddFontLoader(const Ref<TFontLoader>& loader);  // links it in front, once; Null: nothing
Ref<TFont> LoadFont(const TUrl& url, int size, int style);  // first loader's font, or Null

// ---- Text through the current drawing state (its handle, origin, matrix, colour and blend)
// A font with a source font reads a surrogate pair as one character and applies its kerning
// between neighbouring glyphs, in DrawText and TextWidth alike.
void DrawText(const TString& text, float x, float y);
void DrawText(std::string_view utf8, float x, float y);
int TextWidth(const TString& text);
int TextWidth(std::string_view utf8);
int TextHeight();
void SetImageFont(const Ref<TImageFont>& font);  // Null selects the built-in font
Ref<TImageFont> GetImageFont();
Ref<TImageFont> LoadImageFont(const TUrl& url, int size, int style = 0);

}  // namespace corvex

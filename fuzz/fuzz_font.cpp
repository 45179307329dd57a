// The outline-font loader: any bytes handed to FreeType give Null or a font whose glyphs,
// rendered, have the size they claim. The input's length picks the style bits and pixel size.
#include <cstddef>
#include <cstdint>

#include <corvex/draw2d/freetype.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/stream/stream.h>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvex;
    if (size > (4u << 20)) return 0;
    static TFreeTypeFontLoader loader;
    const int style = int(size % 8);
    const int pixels = 4 + int(size % 61);
    Ref<TFont> font = loader.LoadFont(TUrl(TRamStream::Create(static_cast<const void*>(data), int32_t(size), true)),
                                      pixels, style);
    if (!font) return 0;
    Check(font->Height() > 0 && font->Height() <= 4 * pixels);
    const int count = font->CountGlyphs();
    Check(count > 0);
    // The glyphs text would reach first, then the first few by index.
    int previous = -1;
    for (int code = 32; code < 128 + 32; ++code) {
        const int index = code < 128 ? font->CharToGlyph(code) : code - 128;
        if (index < 0 || index >= count) continue;
        Ref<TGlyph> glyph = font->LoadGlyph(index);
        Check(glyph != nullptr);
        int x, y, w, h;
        glyph->GetRect(x, y, w, h);
        if (auto pixmap = std::dynamic_pointer_cast<TPixmap>(glyph->Pixels())) {
            Check(pixmap->width == w && pixmap->height == h);
            Check(pixmap->ReadPixel(w - 1, h - 1) <= 0xFFFFFFFFu);
        }
        if (previous >= 0) (void)font->Kerning(previous, index);
        previous = index;
    }
    return 0;
}

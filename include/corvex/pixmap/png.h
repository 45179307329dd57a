// PNG through libpng: every colour type and depth reads as 8-bit grey, RGB or RGBA.
#pragma once

#include <corvex/pixmap/loader.h>

namespace corvex {

// Decodes with 16-bit samples stripped to 8 and palettes, low-depth grey and transparency chunks
// expanded: grey gives FORMAT_I8, RGB FORMAT_RGB888, RGB with alpha or a transparency chunk
// FORMAT_RGBA8888, grey with alpha FORMAT_RGBA8888 (grey, grey, grey, alpha). Corrupt, truncated
// or oversized data gives Null; the stream opened here is always closed.
Ref<TPixmap> LoadPngPixmap(const TUrl& url);

// Writes 8-bit grey (I8), RGB (RGB888, BGR888) or RGBA (RGBA8888, BGRA8888; any other format is
// converted to RGBA first). compression is a zlib level, clamped to 0..9. Returns 1 on success,
// 0 when the URL will not open for writing or the image cannot be written.
int SavePngPixmap(const Ref<TPixmap>& pixmap, const TUrl& url, int compression = 6);

// The PNG pixmap loader.
class TPixmapLoaderPNG : public TPixmapLoader {
public:
    Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;  // LoadPngPixmap(stream)
};

}  // namespace corvex

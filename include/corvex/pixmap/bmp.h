// Windows bitmaps: 1-, 4-, 8-, 24- and 32-bit uncompressed, bottom-up.
#pragma once

#include <corvex/pixmap/loader.h>

namespace corvex {

// FORMAT_BGRA8888 for 32 bits, FORMAT_BGR888 otherwise. Declines (Null) anything else, and
// headers with a width or height below 1, more pixels than the limit, a row longer than
// 65532 bytes, or more colours than the palette holds. Missing data at the end reads as zeros.
class TPixmapLoaderBMP : public TPixmapLoader {
public:
    Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;  // the BMP file on stream, or Null
};

}  // namespace corvex

// Truevision TGA: uncompressed (type 2) and run-length encoded (type 10) true colour.
#pragma once

#include <corvex/pixmap/loader.h>

namespace corvex {

// 15 and 24 bits load as FORMAT_RGB888, 16 and 32 bits as FORMAT_RGBA8888; the first row of the
// file is the bottom row. Declines (Null) colour-mapped and other image types, other depths, sides
// outside 1..4096, and run-length packets that reach past the end of their row.
class TPixmapLoaderTGA : public TPixmapLoader {
public:
    Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;  // the TGA file on stream, or Null
};

}  // namespace corvex

// JPEG through libjpeg (6b interface, library version 62).
#pragma once

#include <cstdint>

#include <corvex/pixmap/loader.h>

namespace corvex {

// One component gives FORMAT_I8, three FORMAT_RGB888, anything else (CMYK) Null. Data that ends
// early is completed with an end-of-image marker; data libjpeg rejects gives Null. The stream
// opened here is always closed.
Ref<TPixmap> LoadJpegPixmap(const TUrl& url);

// Encodes the pixmap (converted to RGB888) at quality 1..100. Returns 1 on success, 0 when the
// URL will not open for writing or the image cannot be written.
int SaveJpegPixmap(const Ref<TPixmap>& pixmap, const TUrl& url, int quality = 75);

// The JPEG pixmap loader.
class TPixmapLoaderJPG : public TPixmapLoader {
public:
    Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;  // LoadJpegPixmap(stream)
};

// ---- The adapter: libjpeg over any byte source
// Returns the number of bytes placed in buffer, 0 at the end of the data.
using TJpegReadFunction = int32_t (*)(uint8_t* buffer, int32_t size, TStream& stream);
int32_t ReadJpegFromStream(uint8_t* buffer, int32_t size, TStream& stream);  // stream.Read

// A decoded JPEG image: size, components and pixel rows.
struct TJpegImage {
    int32_t width = 0;  // in pixels
    int32_t height = 0;  // in pixels
    int32_t components = 0;  // colour components per pixel (1 grey, 3 RGB, 4 CMYK)
    uint8_t* pixels = nullptr;  // width * height * components bytes from malloc; caller frees
};

// Decodes a whole JPEG from stream: 0 with image filled in, or -1 (image untouched, nothing
// left allocated) when libjpeg rejects the data or the image has more pixels than the limit.
// An exception raised by read is passed on once libjpeg has been released.
int DecodeJpeg(TStream& stream, TJpegReadFunction read, TJpegImage* image);

}  // namespace corvex

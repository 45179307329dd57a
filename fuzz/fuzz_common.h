// Shared set-up of the fuzz targets: start the pixmap module once, with a lower pixel limit so
// that one input never takes more than a moment (the limit check itself is what is exercised).
#pragma once

#include <cstddef>
#include <cstdint>

#include <corvex/pixmap/loader.h>
#include "pixmap/pixmap_module.h"

namespace corvex::fuzz {

constexpr int64_t kFuzzPixelLimit = int64_t(1) << 20;

inline void Start() {
    static const bool started = [] {
        StartPixmapModule();
        PixmapModule().pixelLimit = kFuzzPixelLimit;
        return true;
    }();
    (void)started;
}

inline Ref<TStream> Memory(const uint8_t* data, size_t size) {
    return TRamStream::Create(data, int32_t(size), true);
}

// Reads every pixel byte of the result, so a row the decoder left outside its memory or a
// wrong pitch shows up under the address sanitizer.
inline unsigned Touch(const Ref<TPixmap>& pixmap) {
    if (!pixmap) return 0;
    if (pixmap->width < 1 || pixmap->height < 1 || pixmap->width > kFuzzPixelLimit ||
        pixmap->height > kFuzzPixelLimit || !IsPixelFormat(pixmap->format)) {
        __builtin_trap();  // a decoder returned a pixmap it should have declined
    }
    unsigned sum = 0;
    const int rowBytes = pixmap->width * FormatBytes(pixmap->format);
    for (int y = 0; y < pixmap->height; ++y) {
        const uint8_t* row = pixmap->PixelPtr(0, y);
        sum += row[0] + row[rowBytes - 1];
    }
    return sum;
}

}  // namespace corvex::fuzz

// The JPEG decoder alone, through LoadJpegPixmap and through the DecodeJpeg adapter.
#include <cstdlib>

#include "fuzz/fuzz_common.h"
#include <corvex/pixmap/jpeg.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvex::fuzz::Start();
    auto pixmap = corvex::LoadJpegPixmap(corvex::fuzz::Memory(data, size));
    volatile unsigned sink = corvex::fuzz::Touch(pixmap);
    (void)sink;
    auto stream = corvex::fuzz::Memory(data, size);
    corvex::TJpegImage image;
    if (corvex::DecodeJpeg(*stream, corvex::ReadJpegFromStream, &image) == 0) {
        size_t bytes = size_t(image.width) * size_t(image.height) * size_t(image.components);
        if (bytes == 0) __builtin_trap();
        sink = image.pixels[0] + image.pixels[bytes - 1];
        std::free(image.pixels);
    }
    return 0;
}

// The PNG decoder alone; a decoded image is also written back and read again.
#include "fuzz/fuzz_common.h"
#include <corvex/pixmap/png.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvex::fuzz::Start();
    auto pixmap = corvex::LoadPngPixmap(corvex::fuzz::Memory(data, size));
    volatile unsigned sink = corvex::fuzz::Touch(pixmap);
    (void)sink;
    if (pixmap && int64_t(pixmap->width) * pixmap->height <= 4096) {
        std::vector<uint8_t> buffer(size_t(pixmap->width) * pixmap->height * 4 * 2 + 4096);
        auto out = corvex::TRamStream::Create(buffer.data(), int32_t(buffer.size()), false, true);
        if (corvex::SavePngPixmap(pixmap, out, 1) != 1) __builtin_trap();
        auto back = corvex::LoadPngPixmap(corvex::fuzz::Memory(buffer.data(), size_t(out->Pos())));
        if (!back || back->width != pixmap->width || back->height != pixmap->height ||
            back->format != pixmap->format) {
            __builtin_trap();
        }
        for (int y = 0; y < pixmap->height; ++y)
            for (int x = 0; x < pixmap->width; ++x)
                if (back->ReadPixel(x, y) != pixmap->ReadPixel(x, y)) __builtin_trap();
    }
    return 0;
}

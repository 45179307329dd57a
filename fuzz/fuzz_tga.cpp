// The TGA decoder alone; a stream exception counts as declining, as LoadPixmap treats it.
#include "fuzz/fuzz_common.h"
#include <corvex/pixmap/tga.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvex::fuzz::Start();
    try {
        auto pixmap = corvex::TPixmapLoaderTGA().LoadPixmap(corvex::fuzz::Memory(data, size));
        volatile unsigned sink = corvex::fuzz::Touch(pixmap);
        (void)sink;
    } catch (const corvex::TStreamException&) {
    }
    return 0;
}

// The TGA decoder alone; a stream exception counts as declining, as LoadPixmap treats it.
#include "fuzz/fuzz_common.h"
#include "pixmap/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvl::fuzz::Start();
    try {
        auto pixmap = kvl::TPixmapLoaderTGA().LoadPixmap(kvl::fuzz::Memory(data, size));
        volatile unsigned sink = kvl::fuzz::Touch(pixmap);
        (void)sink;
    } catch (const kvl::TStreamException&) {
    }
    return 0;
}

// LoadPixmap over a memory stream: every loader in registry order, as applications call it.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvl::fuzz::Start();
    auto pixmap = kvl::LoadPixmap(kvl::fuzz::Memory(data, size));
    volatile unsigned sink = kvl::fuzz::Touch(pixmap);
    (void)sink;
    return 0;
}

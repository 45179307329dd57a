// LoadPixmap over a memory stream: every loader in registry order, as applications call it.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvex::fuzz::Start();
    auto pixmap = corvex::LoadPixmap(corvex::fuzz::Memory(data, size));
    volatile unsigned sink = corvex::fuzz::Touch(pixmap);
    (void)sink;
    return 0;
}

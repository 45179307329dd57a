// The Ogg Vorbis loader alone, and LoadSample over the whole loader chain.
#include "fuzz/fuzz_audio_common.h"
#include <corvex/audio/ogg.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvex::fuzz::StartAudio();
    auto sample = corvex::LoadOggSample(corvex::TRamStream::Create(data, int32_t(size), true));
    volatile float sink = corvex::fuzz::TouchSample(sample);
    auto any = corvex::LoadSample(corvex::TRamStream::Create(data, int32_t(size), true));
    sink = sink + corvex::fuzz::TouchSample(any);
    (void)sink;
    return 0;
}

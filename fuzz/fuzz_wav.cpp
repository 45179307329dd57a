// The WAV loader alone; a loaded sample is also written back and must read the same.
#include "fuzz/fuzz_audio_common.h"
#include <corvex/audio/wav.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvex::fuzz::StartAudio();
    auto sample = corvex::LoadWavSample(corvex::TRamStream::Create(data, int32_t(size), true));
    volatile float sink = corvex::fuzz::TouchSample(sample);
    (void)sink;
    if (sample && sample->data.size() <= 65536) {
        std::vector<uint8_t> buffer(sample->data.size() + 64);
        auto out = corvex::TRamStream::Create(buffer.data(), int32_t(buffer.size()), false, true);
        if (corvex::SaveWavSample(sample, out) != 1) __builtin_trap();
        auto back = corvex::LoadWavSample(corvex::TRamStream::Create(buffer.data(), out->Pos(), true));
        if (!back || back->format != sample->format || back->rate != sample->rate || back->data != sample->data)
            __builtin_trap();
    }
    return 0;
}

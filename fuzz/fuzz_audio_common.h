// Shared set-up of the sample loader fuzz targets: start the audio module once, with a lower
// byte limit so that one input never decodes for long (the limit check itself is exercised).
#pragma once

#include <cstddef>
#include <cstdint>

#include <corvex/audio/audio.h>
#include <corvex/audio/loader.h>
#include "audio/audio_module.h"

namespace corvex::fuzz {

constexpr int64_t kFuzzSampleBytes = int64_t(1) << 20;

inline void StartAudio() {
    static const bool started = [] {
        StartAudioModule();
        AudioModule().byteLimit = kFuzzSampleBytes;
        return true;
    }();
    (void)started;
}

// Reads every value of the result, so frames the loader left outside its memory or a length
// that does not match the data show up under the address sanitizer.
inline float TouchSample(const Ref<TSample>& sample) {
    if (!sample) return 0;
    if (sample->length < 1 || !IsSampleFormat(sample->format) || !SampleRateAllowed(sample->rate) ||
        sample->data.size() != size_t(sample->length) * size_t(sample->FrameBytes()) ||
        int64_t(sample->data.size()) > kFuzzSampleBytes) {
        __builtin_trap();  // a loader returned a sample it should have declined
    }
    float sum = 0;
    for (int32_t f = 0; f < sample->length; ++f) sum += sample->Read(f, 0) + sample->Read(f, 1);
    return sum;
}

}  // namespace corvex::fuzz

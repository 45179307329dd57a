// WAV (RIFF WAVE) files: PCM at 8, 16, 24 or 32 bits and IEEE float at 32 or 64 bits, mono or
// stereo, plain or extensible format chunks, chunks in any order (odd sizes padded).
// 8-bit files give 8-bit samples, 16-bit ones 16-bit samples, everything wider float samples.
#pragma once

#include <corvex/audio/loader.h>

namespace corvex {

// Null for anything else, a header that does not fit the data (a data chunk longer than the
// file, no format chunk, zero or more than two channels, a rate outside the limits) or a
// sample over the byte limit. Reads from the stream's position; closes nothing.
Ref<TSample> LoadWavSample(const Ref<TStream>& stream);

// Writes sample as a plain WAV file (8 or 16-bit PCM, or 32-bit float); 1 on success, 0 when
// the stream will not take it all. Closes nothing.
int32_t SaveWavSample(const Ref<TSample>& sample, const Ref<TStream>& stream);

// The WAV loader of the registry: LoadWavSample.
class TSampleLoaderWAV : public TSampleLoader {
public:
    Ref<TSample> LoadSample(const Ref<TStream>& stream) override { return LoadWavSample(stream); }  // LoadWavSample
};

}  // namespace corvex

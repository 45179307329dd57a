// Ogg Vorbis files, decoded whole into 16-bit mono or stereo samples by libvorbisfile, which
// reads through the framework's stream (no file names involved).
#pragma once

#include <corvex/audio/loader.h>

namespace corvex {

// Null for anything else, more than two channels, a rate outside the limits, a damaged page
// or packet anywhere in the file, or a decoded size over the byte limit. Reads from the
// stream's position; closes nothing.
Ref<TSample> LoadOggSample(const Ref<TStream>& stream);

// The Ogg Vorbis loader of the registry: LoadOggSample.
class TSampleLoaderOGG : public TSampleLoader {
public:
    Ref<TSample> LoadSample(const Ref<TStream>& stream) override { return LoadOggSample(stream); }  // LoadOggSample
};

}  // namespace corvex

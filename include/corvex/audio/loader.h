// Sound files into samples: the loader registry and LoadSample.
//
// Loaders are asked newest registration first; start-up registers WAV, then Ogg Vorbis, so
// LoadSample tries Ogg Vorbis, then WAV. Loaders recognise their format from the data, never
// from a file extension.
#pragma once

#include <corvex/audio/sample.h>
#include <corvex/runtime/chain.h>
#include <corvex/stream/stream.h>

namespace corvex {

// LoadSample(stream) returns a sample or Null for data that is not its format. It reads from
// the given stream and does not close it; a TStreamException it raises counts as declining.
// Succ() is the loader registered before it.
class TSampleLoader : public TObject, public TChainLink<TSampleLoader> {
public:
    virtual Ref<TSample> LoadSample(const Ref<TStream>& stream) = 0;  // the sample, or Null to decline
};

void RegisterSampleLoader(Ref<TSampleLoader> loader);  // links it in at the head; Null or a repeat: nothing
Ref<TSampleLoader> FirstSampleLoader();                // the head; walk with Succ()

// Opens url (a path, an "incbin::" URL, a stream, ...), tries every loader from the same start
// position and closes what it opened. Null when the URL will not open, the stream cannot tell
// its position, or every loader declines. Exceptions other than TStreamException pass through.
Ref<TSample> LoadSample(const TUrl& url);

}  // namespace corvex

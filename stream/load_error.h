// Load-failure reporting shared by the loader registries (pixmaps, samples) and the decoders.
// In-tree code only.
#pragma once

#include <string_view>

#include <corvex/stream/stream.h>

namespace corvex {

TString UrlName(const TUrl& url);                 // the URL's text, or what kind of object it is
void BeginLoad();                                 // forgets the previous failure and decoder note
void NoteDecodeError(std::string_view reason);    // decoders: why recognised data cannot be read; the first note stays
// Records the failure of loading url: opened says whether a stream could be opened.
void FailLoad(const TUrl& url, bool opened);

}  // namespace corvex

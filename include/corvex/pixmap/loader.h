// Image files into pixmaps: the loader registry, LoadPixmap, and the module's start-up.
//
// Loaders are asked newest registration first; start-up registers BMP, JPEG, PNG, TGA, so
// LoadPixmap tries TGA, PNG, JPEG, BMP. Loaders recognise their format from the data, never from
// a file extension. The codecs themselves: pixmap/png.h, pixmap/jpeg.h, pixmap/bmp.h, pixmap/tga.h.
#pragma once

#include <cstdint>

#include <corvex/pixmap/pixmap.h>
#include <corvex/runtime/chain.h>
#include <corvex/stream/stream.h>

namespace corvex {

// ---- Loaders
// LoadPixmap(stream) returns a pixmap or Null for data that is not its format. It reads from
// the given stream and does not close it; a TStreamException it raises counts as declining.
// Succ() is the loader registered before it.
class TPixmapLoader : public TObject, public TChainLink<TPixmapLoader> {
public:
    virtual Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) = 0;  // the pixmap, or Null to decline
};

void RegisterPixmapLoader(Ref<TPixmapLoader> loader);  // links it in at the head; Null or a repeat: nothing
Ref<TPixmapLoader> FirstPixmapLoader();                // the head; walk with Succ()

// Opens url (a path, an "incbin::" URL, a stream, ...), tries every loader from the same start
// position and closes what it opened. Null when the URL will not open, the stream cannot tell
// its position, or every loader declines. Exceptions other than TStreamException pass through.
Ref<TPixmap> LoadPixmap(const TUrl& url);

// ---- Size limit
// No decoder allocates for an image of more pixels than this; such files are declined.
constexpr int64_t MAX_PIXMAP_PIXELS = int64_t(1) << 28;
bool PixmapSizeAllowed(int64_t width, int64_t height);  // 1..limit pixels, both sides >= 1

// ---- Start-up
void StartPixmapModule();  // starts the stream module, then registers BMP, JPEG, PNG, TGA once

}  // namespace corvex

// Image files into pixmaps: the loader registry, LoadPixmap, and the module's start-up.
//
// Loaders are asked newest registration first; start-up registers BMP, JPEG, PNG, TGA, so
// LoadPixmap tries TGA, PNG, JPEG, BMP. Loaders recognise their format from the data, never from
// a file extension. The codecs themselves: pixmap/png.h, pixmap/jpeg.h, pixmap/bmp.h, pixmap/tga.h.
#pragma once

#include <cstdint>

#include <corvex/pixmap/pixmap.h>
#include <corvex/stream/stream.h>

namespace corvex {

// ---- Loaders
// LoadPixmap(stream) returns a pixmap or Null for data that is not its format. It reads from
// the given stream and does not close it; a TStreamException it raises counts as declining.
class TPixmapLoader : public TObject {
public:
    virtual Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) = 0;
    const Ref<TPixmapLoader>& Succ() const { return _succ; }

private:
    friend class TPixmapModule;
    Ref<TPixmapLoader> _succ;
};

void RegisterPixmapLoader(Ref<TPixmapLoader> loader);  // links it in at the head
Ref<TPixmapLoader> FirstPixmapLoader();                // the head; walk with Succ()

// Opens url (a path, an "incbin::" URL, a stream, ...), tries every loader from the same start
// position and closes what it opened. Null when the URL will not open, the stream cannot tell
// its position, or every loader declines. Exceptions other than TStreamException pass through.
Ref<TPixmap> LoadPixmap(const TUrl& url);

// ---- Size limit
// No decoder allocates for an image of more pixels than this; such files are declined.
constexpr int64_t MAX_PIXMAP_PIXELS = int64_t(1) << 28;
bool PixmapSizeAllowed(int64_t width, int64_t height);  // 1..limit pixels, both sides >= 1

// ---- Module state and start-up
class TPixmapModule {
public:
    static TPixmapModule& Get();
    void AddLoader(Ref<TPixmapLoader> loader);
    const Ref<TPixmapLoader>& FirstLoader() const { return _loaders; }
    // The pixel limit decoders apply; MAX_PIXMAP_PIXELS unless lowered (fuzzing keeps runs short).
    int64_t PixelLimit() const { return _pixelLimit; }
    void SetPixelLimit(int64_t pixels) { _pixelLimit = pixels; }
    // Back to the state start-up leaves: the four loaders if started, none otherwise.
    void Reset();

private:
    friend void StartPixmapModule();
    TPixmapModule() = default;
    ~TPixmapModule();
    void RegisterStandardLoaders();
    Ref<TPixmapLoader> _loaders;
    int64_t _pixelLimit = MAX_PIXMAP_PIXELS;
    bool _started = false;
};

void StartPixmapModule();  // starts the stream module, then registers BMP, JPEG, PNG, TGA once

}  // namespace corvex

// Pixmaps: rectangles of pixels in one of the formats of pixmap/format.h, the per-pixel
// methods, and the whole-pixmap transforms (colour key, bilinear resample, mirrors).
//
// Loading and saving image files: pixmap/loader.h (LoadPixmap and the loader registry),
// pixmap/png.h, pixmap/jpeg.h, pixmap/bmp.h, pixmap/tga.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <corvex/pixmap/format.h>
#include <corvex/runtime/object.h>

namespace corvex {

// ---- Data objects: the hook into object serialisation
struct TDataType {  // the serialised type of data objects
    std::string name;  // "KVL.Pixmap.TPixmap"
};

class TData : public TObject {  // an object that can be serialised
public:
    virtual const TDataType& DataType() const = 0;  // its serialised type
};

// ---- TPixmap
// Pixel memory is either owned (capacity >= 0, freed with the pixmap) or borrowed (capacity -1,
// kept alive through _source). Methods do not check coordinates or formats: callers keep every
// access inside the pixmap. Memory from Create is 16-byte aligned and not cleared.
class TPixmap : public TData, public std::enable_shared_from_this<TPixmap> {
public:
    uint8_t* pixels = nullptr;  // address of pixel (0, 0)
    int32_t width = 0;          // pixels per row
    int32_t height = 0;         // rows
    int32_t pitch = 0;          // bytes from one row to the next
    int32_t format = 0;         // FORMAT_*
    int32_t capacity = 0;       // bytes owned, or -1 when borrowed
    Ref<TObject> _source;       // owner of borrowed memory (the parent of a window)

    TPixmap() = default;
    TPixmap(const TPixmap&) = delete;
    TPixmap& operator=(const TPixmap&) = delete;
    ~TPixmap() override;

    const TDataType& DataType() const override;

    uint8_t* PixelPtr(int x, int y) const;                           // address of pixel (x, y)
    Ref<TPixmap> Window(int x, int y, int width, int height);        // view sharing this memory
    Ref<TPixmap> Copy() const;                                       // same format, pitch rule
    int Paste(const TPixmap& source, int x, int y);                  // converts into (x, y)
    Ref<TPixmap> Convert(int format) const;                          // new pixmap in format
    uint32_t ReadPixel(int x, int y) const;                          // ARGB; 0 for formats 7..12
    int WritePixel(int x, int y, uint32_t argb);                     // nothing for formats 7..12
    int ClearPixels(uint32_t argb);                                  // fills every pixel

    // Pitch = align * ceil(width * bytes / align). Raises TRuntimeException for a negative size
    // or one whose byte count does not fit in 31 bits; callers pass align 4.
    static Ref<TPixmap> Create(int width, int height, int format, int align);
    static Ref<TPixmap> CreateStatic(uint8_t* pixels, int width, int height, int pitch,
                                     int format);  // borrows pixels
};

// ---- Module-level forms of the methods
Ref<TPixmap> CreatePixmap(int width, int height, int format, int align = 4);
Ref<TPixmap> CreateStaticPixmap(uint8_t* pixels, int width, int height, int pitch, int format);
uint8_t* PixelPtr(const Ref<TPixmap>& pixmap, int x, int y);
Ref<TPixmap> PixmapWindow(const Ref<TPixmap>& pixmap, int x, int y, int width, int height);
Ref<TPixmap> CopyPixmap(const Ref<TPixmap>& pixmap);
int PastePixmap(const Ref<TPixmap>& pixmap, const Ref<TPixmap>& source, int x, int y);
Ref<TPixmap> ConvertPixmap(const Ref<TPixmap>& pixmap, int format);
uint32_t ReadPixel(const Ref<TPixmap>& pixmap, int x, int y);
int WritePixel(const Ref<TPixmap>& pixmap, int x, int y, uint32_t argb);
int ClearPixmap(const Ref<TPixmap>& pixmap, uint32_t argb);

// ---- Whole-pixmap transforms (each returns a new pixmap)
// RGBA copy in which pixels of colour (r, g, b) get alpha 0 and the average colour of their
// non-key neighbours; every other pixel gets alpha 255.
Ref<TPixmap> ColorKeyPixmap(const Ref<TPixmap>& pixmap, int r, int g, int b);
// Bilinear resample to width x height in 32-bit float arithmetic; keeps the source format.
Ref<TPixmap> ResamplePixmap(const Ref<TPixmap>& pixmap, int width, int height);
Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap);  // left-right
Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap);  // top-bottom

}  // namespace corvex

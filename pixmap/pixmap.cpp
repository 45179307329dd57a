#include <corvex/pixmap/pixmap.h>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include <corvex/runtime/exception.h>

namespace corvex {
namespace {

constexpr std::align_val_t kPixelAlign{16};

// The bytes one pixel of an ARGB value occupies in format; returns their number (0 for
// formats that per-pixel writes do not know).
int PixelBytes(int format, uint32_t argb, uint8_t out[4]) {
    uint8_t a = uint8_t(argb >> 24), r = uint8_t(argb >> 16), g = uint8_t(argb >> 8),
            b = uint8_t(argb);
    switch (format) {
    case FORMAT_I8: out[0] = uint8_t((unsigned(r) + g + b) / 3); return 1;
    case FORMAT_A8: out[0] = a; return 1;
    case FORMAT_BGR888: out[0] = b; out[1] = g; out[2] = r; return 3;
    case FORMAT_RGB888: out[0] = r; out[1] = g; out[2] = b; return 3;
    case FORMAT_BGRA8888: out[0] = b; out[1] = g; out[2] = r; out[3] = a; return 4;
    case FORMAT_RGBA8888: out[0] = r; out[1] = g; out[2] = b; out[3] = a; return 4;
    default: return 0;
    }
}

Ref<TPixmap> AsRGBA(const Ref<TPixmap>& pixmap) {
    return pixmap->format == FORMAT_RGBA8888 ? pixmap : pixmap->Convert(FORMAT_RGBA8888);
}

}  // namespace

TPixmap::~TPixmap() {
    if (capacity >= 0 && pixels) ::operator delete(pixels, kPixelAlign);
}

const TDataType& TPixmap::DataType() const {
    static const TDataType type{"KVL.Pixmap.TPixmap"};
    return type;
}

uint8_t* TPixmap::PixelPtr(int x, int y) const {
    return pixels + ptrdiff_t(y) * pitch + ptrdiff_t(x) * FormatBytes(format);
}

Ref<TPixmap> TPixmap::Window(int x, int y, int w, int h) {
    Ref<TPixmap> window = CreateStatic(PixelPtr(x, y), w, h, pitch, format);
    window->_source = shared_from_this();
    return window;
}

Ref<TPixmap> TPixmap::Copy() const {
    Ref<TPixmap> copy = Create(width, height, format, 4);
    for (int y = 0; y < height; ++y) CopyPixels(PixelPtr(0, y), copy->PixelPtr(0, y), format, width);
    return copy;
}

int TPixmap::Paste(const TPixmap& source, int x, int y) {
    for (int i = 0; i < source.height; ++i) {
        ConvertPixels(source.PixelPtr(0, i), source.format, PixelPtr(x, y + i), format, source.width);
    }
    return 0;
}

Ref<TPixmap> TPixmap::Convert(int newFormat) const {
    Ref<TPixmap> result = Create(width, height, newFormat, 4);
    for (int y = 0; y < height; ++y) {
        ConvertPixels(PixelPtr(0, y), format, result->PixelPtr(0, y), newFormat, width);
    }
    return result;
}

uint32_t TPixmap::ReadPixel(int x, int y) const {
    const uint8_t* p = PixelPtr(x, y);
    switch (format) {
    case FORMAT_I8: return 0xFF000000u + p[0] * 0x010101u;
    case FORMAT_A8: return uint32_t(p[0]) << 24 | 0xFFFFFFu;
    case FORMAT_BGR888: return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    case FORMAT_RGB888: return 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    case FORMAT_BGRA8888:
        return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    case FORMAT_RGBA8888:
        return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    default: return 0;
    }
}

int TPixmap::WritePixel(int x, int y, uint32_t argb) {
    uint8_t bytes[4];
    int n = PixelBytes(format, argb, bytes);
    if (n) std::memcpy(PixelPtr(x, y), bytes, size_t(n));
    return 0;
}

int TPixmap::ClearPixels(uint32_t argb) {
    size_t rowBytes = size_t(width > 0 ? width : 0) * size_t(FormatBytes(format));
    if (argb == 0 && ptrdiff_t(rowBytes) == pitch) {
        if (height > 0 && rowBytes) std::memset(pixels, 0, rowBytes * size_t(height));
        return 0;
    }
    uint8_t bytes[4];
    int n = PixelBytes(format, argb, bytes);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = PixelPtr(0, y);
        if (argb == 0) {
            if (rowBytes) std::memset(row, 0, rowBytes);
        } else if (n == 1) {
            std::memset(row, bytes[0], size_t(width));
        } else if (n > 1) {
            for (int x = 0; x < width; ++x) std::memcpy(row + size_t(x) * n, bytes, size_t(n));
        }
    }
    return 0;
}

Ref<TPixmap> TPixmap::Create(int w, int h, int fmt, int align) {
    if (w < 0 || h < 0) throw TRuntimeException("Invalid pixmap size");
    if (align < 1) align = 1;
    int64_t rowBytes = int64_t(w) * FormatBytes(fmt);
    int64_t pitch = (rowBytes + align - 1) / align * align;
    int64_t bytes = pitch * h;
    if (pitch > INT32_MAX || bytes > INT32_MAX) throw TRuntimeException("Invalid pixmap size");
    auto pixmap = std::make_shared<TPixmap>();
    pixmap->pixels = static_cast<uint8_t*>(::operator new(size_t(bytes), kPixelAlign));
    pixmap->width = w;
    pixmap->height = h;
    pixmap->pitch = int32_t(pitch);
    pixmap->format = fmt;
    pixmap->capacity = int32_t(bytes);
    return pixmap;
}

Ref<TPixmap> TPixmap::CreateStatic(uint8_t* px, int w, int h, int pitch, int fmt) {
    auto pixmap = std::make_shared<TPixmap>();
    pixmap->pixels = px;
    pixmap->width = w;
    pixmap->height = h;
    pixmap->pitch = pitch;
    pixmap->format = fmt;
    pixmap->capacity = -1;
    return pixmap;
}

// ---- Module-level forms

Ref<TPixmap> CreatePixmap(int width, int height, int format, int align) {
    return TPixmap::Create(width, height, format, align);
}
Ref<TPixmap> CreateStaticPixmap(uint8_t* pixels, int width, int height, int pitch, int format) {
    return TPixmap::CreateStatic(pixels, width, height, pitch, format);
}
uint8_t* PixelPtr(const Ref<TPixmap>& pixmap, int x, int y) { return pixmap->PixelPtr(x, y); }
Ref<TPixmap> PixmapWindow(const Ref<TPixmap>& pixmap, int x, int y, int width, int height) {
    return pixmap->Window(x, y, width, height);
}
Ref<TPixmap> CopyPixmap(const Ref<TPixmap>& pixmap) { return pixmap->Copy(); }
int PastePixmap(const Ref<TPixmap>& pixmap, const Ref<TPixmap>& source, int x, int y) {
    return pixmap->Paste(*source, x, y);
}
Ref<TPixmap> ConvertPixmap(const Ref<TPixmap>& pixmap, int format) { return pixmap->Convert(format); }
uint32_t ReadPixel(const Ref<TPixmap>& pixmap, int x, int y) { return pixmap->ReadPixel(x, y); }
int WritePixel(const Ref<TPixmap>& pixmap, int x, int y, uint32_t argb) {
    return pixmap->WritePixel(x, y, argb);
}
int ClearPixmap(const Ref<TPixmap>& pixmap, uint32_t argb) { return pixmap->ClearPixels(argb); }

// ---- Transforms

Ref<TPixmap> ColorKeyPixmap(const Ref<TPixmap>& pixmap, int r, int g, int b) {
    Ref<TPixmap> src = AsRGBA(pixmap);
    const int w = src->width, h = src->height;
    Ref<TPixmap> result = TPixmap::Create(w, h, FORMAT_RGBA8888, 4);
    auto isKey = [&](const uint8_t* p) { return p[0] == r && p[1] == g && p[2] == b; };
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src->PixelPtr(0, y);
        uint8_t* d = result->PixelPtr(0, y);
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            if (!isKey(s)) {
                d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; d[3] = 255;
                continue;
            }
            // Keyed: transparent, coloured like its opaque neighbours so filtering does not
            // bleed the key colour into the image's edges.
            unsigned sum[3] = {0, 0, 0}, count = 0;
            for (int ny = y - 1; ny <= y + 1; ++ny) {
                for (int nx = x - 1; nx <= x + 1; ++nx) {
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    const uint8_t* n = src->PixelPtr(nx, ny);
                    if (isKey(n)) continue;
                    sum[0] += n[0]; sum[1] += n[1]; sum[2] += n[2];
                    ++count;
                }
            }
            for (int k = 0; k < 3; ++k) d[k] = count ? uint8_t(sum[k] / count) : 0;
            d[3] = 0;
        }
    }
    return result;
}

Ref<TPixmap> ResamplePixmap(const Ref<TPixmap>& pixmap, int width, int height) {
    Ref<TPixmap> src = AsRGBA(pixmap);
    Ref<TPixmap> result = TPixmap::Create(width, height, pixmap->format, 4);
    if (src->width <= 0 || src->height <= 0) {
        result->ClearPixels(0);  // nothing to sample from
        return result;
    }
    const float sx = float(src->width) / float(width);
    const float sy = float(src->height) / float(height);
    std::vector<uint8_t> row(size_t(width) * 4);
    for (int y = 0; y < height; ++y) {
        float fy = (float(y) + 0.5f) * sy - 0.5f;
        int iy = int(std::floor(fy));
        float ty = fy - float(iy);
        ptrdiff_t rowStep = src->pitch;
        if (iy < 0) {
            iy = 0, ty = 0, rowStep = 0;
        } else if (iy >= src->height - 1) {
            iy = src->height - 1, ty = 0, rowStep = 0;
        }
        uint8_t* out = row.data();
        for (int x = 0; x < width; ++x, out += 4) {
            float fx = (float(x) + 0.5f) * sx - 0.5f;
            int ix = int(std::floor(fx));
            float tx = fx - float(ix);
            ptrdiff_t colStep = 4;
            if (ix < 0) {
                ix = 0, tx = 0, colStep = 0;
            } else if (ix >= src->width - 1) {
                ix = src->width - 1, tx = 0, colStep = 0;
            }
            const uint8_t* p = src->PixelPtr(ix, iy);
            for (int k = 0; k < 4; ++k) {
                float a = p[k], b = p[k + colStep], d = p[k + rowStep], e = p[k + rowStep + colStep];
                float top = a + (b - a) * tx;
                float bottom = d + (e - d) * tx;
                float value = top + (bottom - top) * ty;
                out[k] = uint8_t(int(value) & 0xFF);
            }
        }
        ConvertPixels(row.data(), FORMAT_RGBA8888, result->PixelPtr(0, y), result->format, width);
    }
    return result;
}

Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap) {
    const TPixmap& src = *pixmap;
    Ref<TPixmap> result = TPixmap::Create(src.width, src.height, src.format, 4);
    for (int y = 0; y < src.height; ++y) {
        for (int x = 0; x < src.width; ++x) {
            CopyPixels(src.PixelPtr(src.width - 1 - x, y), result->PixelPtr(x, y), src.format, 1);
        }
    }
    return result;
}

Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap) {
    const TPixmap& src = *pixmap;
    Ref<TPixmap> result = TPixmap::Create(src.width, src.height, src.format, 4);
    for (int y = 0; y < src.height; ++y) {
        CopyPixels(src.PixelPtr(0, src.height - 1 - y), result->PixelPtr(0, y), src.format, src.width);
    }
    return result;
}

}  // namespace corvex

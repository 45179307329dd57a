#include <corvex/pixmap/tga.h>

#include <cstring>
#include <vector>

namespace corvex {
namespace {

// The header as stored: the first eight fields are bytes, then six little-endian fields.
struct tgahdr {
    uint8_t idlen, colourmaptype, imgtype, indexlo, indexhi, lenlo, lenhi, cosize;
    int32_t x0, y0, width, height;
    int32_t psize, attbits;
};

// One pixel of the given depth as the bytes B, G, R, A.
void PixelFromShort(uint32_t v, int psize, uint8_t* out) {
    out[0] = uint8_t((v << 3) & 0xF8);
    out[1] = uint8_t((v >> 2) & 0xF8);
    out[2] = uint8_t((v >> 7) & 0xF8);
    out[3] = psize == 16 && (v & 0x8000) ? 0 : 255;  // bit 15 set means transparent
}

class TTgaReader {
public:
    TTgaReader(TStream& stream, int psize) : _stream(stream), _psize(psize) {}

    // Reads count pixel values into out (4 bytes each). Missing data reads as zeros.
    void ReadPixels(uint8_t* out, int32_t count) {
        if (_psize == 15 || _psize == 16) {
            for (int32_t i = 0; i < count; ++i) PixelFromShort(uint32_t(_stream.ReadShort()), _psize, out + 4 * i);
            return;
        }
        const int bytes = _psize / 8;
        // Read into the tail of the run, then spread into 4-byte pixels front to back.
        uint8_t* packed = out + size_t(count) * (4 - bytes);
        std::memset(packed, 0, size_t(count) * bytes);
        _stream.ReadBytes(packed, count * bytes);
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* p = packed + size_t(i) * bytes;
            uint8_t b = p[0], g = p[1], r = p[2], a = bytes == 4 ? p[3] : 255;
            out[4 * i] = b, out[4 * i + 1] = g, out[4 * i + 2] = r, out[4 * i + 3] = a;
        }
    }

private:
    TStream& _stream;
    int _psize;
};

}  // namespace

Ref<TPixmap> TPixmapLoaderTGA::LoadPixmap(const Ref<TStream>& streamRef) {
    TStream& stream = *streamRef;
    uint8_t head[8] = {};
    stream.ReadBytes(head, 8);
    tgahdr h{head[0], head[1], head[2], head[3], head[4], head[5], head[6], head[7],
             0, 0, 0, 0, 0, 0};
    h.x0 = stream.ReadShort();
    h.y0 = stream.ReadShort();
    h.width = stream.ReadShort();
    h.height = stream.ReadShort();
    h.psize = stream.ReadByte();
    h.attbits = stream.ReadByte();

    // Only uncompressed (2) and run-length (10) true colour; colour-mapped images are declined.
    if (h.colourmaptype != 0 || (h.imgtype != 2 && h.imgtype != 10)) return nullptr;
    if (h.psize != 15 && h.psize != 16 && h.psize != 24 && h.psize != 32) return nullptr;
    if (h.width < 1 || h.width > 4096 || h.height < 1 || h.height > 4096) return nullptr;
    if (!PixmapSizeAllowed(h.width, h.height)) return nullptr;

    const int format = h.psize == 16 || h.psize == 32 ? FORMAT_RGBA8888 : FORMAT_RGB888;
    Ref<TPixmap> pixmap = TPixmap::Create(h.width, h.height, format, 4);
    stream.SkipBytes(h.idlen);

    TTgaReader reader(stream, h.psize);
    std::vector<uint8_t> row(size_t(h.width) * 4);  // B, G, R, A per pixel
    // The origin bits are not honoured: the first row of the file is the bottom row.
    for (int32_t y = h.height - 1; y >= 0; --y) {
        if (h.imgtype == 2) {
            reader.ReadPixels(row.data(), h.width);
        } else {
            for (int32_t x = 0; x < h.width;) {
                const int packet = stream.ReadByte();
                const int32_t count = (packet & 0x7F) + 1;
                if (count > h.width - x) return nullptr;  // a packet may not cross its row's end
                uint8_t* out = row.data() + size_t(x) * 4;
                if (packet & 0x80) {
                    reader.ReadPixels(out, 1);
                    for (int32_t i = 1; i < count; ++i) std::memcpy(out + 4 * i, out, 4);
                } else {
                    reader.ReadPixels(out, count);
                }
                x += count;
            }
        }
        ConvertPixels(row.data(), FORMAT_BGRA8888, pixmap->PixelPtr(0, y), format, h.width);
    }
    return pixmap;
}

}  // namespace corvex

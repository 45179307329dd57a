#include <corvex/pixmap/bmp.h>

#include <cstring>
#include <vector>

namespace corvex {
namespace {

constexpr int64_t kMaxRowBytes = 65532;

// Reads one row into a cleared buffer, so missing data at the end of the file reads as zeros.
void ReadRow(TStream& stream, std::vector<uint8_t>& row) {
    std::memset(row.data(), 0, row.size());
    stream.ReadBytes(row.data(), int32_t(row.size()));
}

}  // namespace

Ref<TPixmap> TPixmapLoaderBMP::LoadPixmap(const Ref<TStream>& streamRef) {
    TStream& stream = *streamRef;
    uint8_t signature[2] = {0, 0};
    stream.ReadBytes(signature, 2);
    if (signature[0] != 'B' || signature[1] != 'M') return nullptr;

    stream.ReadInt();  // file size
    stream.ReadInt();  // reserved
    stream.ReadInt();  // offset of the pixel data (rows follow the palette directly)
    stream.ReadInt();  // info header size
    const int32_t width = stream.ReadInt();
    const int32_t height = stream.ReadInt();
    stream.ReadShort();  // planes
    const int32_t bits = stream.ReadShort();
    stream.ReadInt();  // compression (not consulted)
    stream.ReadInt();  // image size
    stream.ReadInt();  // horizontal resolution
    stream.ReadInt();  // vertical resolution
    const int64_t coloursUsed = uint32_t(stream.ReadInt());
    stream.ReadInt();  // important colours

    // Top-down (negative height), empty and oversized bitmaps are declined before allocating.
    if (!PixmapSizeAllowed(width, height)) return nullptr;
    int64_t rowBytes;
    switch (bits) {
    case 1: rowBytes = ((int64_t(width) + 7) / 8 + 3) & ~int64_t(3); break;
    case 4: rowBytes = ((int64_t(width) + 1) / 2 + 3) & ~int64_t(3); break;
    case 8: rowBytes = (int64_t(width) + 3) & ~int64_t(3); break;
    case 24: rowBytes = (int64_t(width) * 3 + 3) & ~int64_t(3); break;
    case 32: rowBytes = int64_t(width) * 4; break;
    default: return nullptr;  // 16 bits and anything else
    }
    // The limit applies to the masked row lengths; a 32-bit row is width * 4 bytes, bounded by
    // the pixel limit alone.
    if (bits != 32 && rowBytes > kMaxRowBytes) return nullptr;
    const int64_t paletteSize = bits == 4 ? 16 : bits == 8 ? 256 : 0;
    const int64_t colours = coloursUsed ? coloursUsed : paletteSize;
    if (paletteSize && colours > paletteSize) return nullptr;  // more colours than indices reach

    const int format = bits == 32 ? FORMAT_BGRA8888 : FORMAT_BGR888;
    Ref<TPixmap> pixmap = TPixmap::Create(width, height, format, 4);
    // 32-bit rows are already in the pixmap's format: they are read straight into it.
    std::vector<uint8_t> row(bits == 32 ? 0 : size_t(rowBytes), 0);

    if (bits == 1) {
        // Always two palette entries, whatever the colour count says.
        uint8_t palette[2][3];
        for (auto& entry : palette) {
            uint32_t v = uint32_t(stream.ReadInt());
            entry[0] = uint8_t(v), entry[1] = uint8_t(v >> 8), entry[2] = uint8_t(v >> 16);
        }
        for (int32_t y = height - 1; y >= 0; --y) {
            ReadRow(stream, row);
            uint8_t* out = pixmap->PixelPtr(0, y);
            for (int32_t x = 0; x < width; ++x, out += 3) {
                bool set = row[size_t(x) >> 3] & (0x80 >> (x & 7));
                std::memcpy(out, palette[set ? 1 : 0], 3);
            }
        }
    } else if (bits == 4 || bits == 8) {
        // Entries beyond the colour count stay black.
        std::vector<uint8_t> palette(size_t(paletteSize) * 4, 0);
        stream.ReadBytes(palette.data(), int32_t(colours * 4));
        std::vector<uint8_t> entries(size_t(width) * 4);
        for (int32_t y = height - 1; y >= 0; --y) {
            ReadRow(stream, row);
            uint8_t* e = entries.data();
            for (int32_t x = 0; x < width; ++x, e += 4) {
                unsigned index = bits == 8 ? row[size_t(x)]
                                 : (x & 1)  ? row[size_t(x) >> 1] & 0x0F
                                            : row[size_t(x) >> 1] >> 4;
                std::memcpy(e, &palette[index * 4], 4);
            }
            ConvertPixels(entries.data(), FORMAT_BGRA8888, pixmap->PixelPtr(0, y), format, width);
        }
    } else if (bits == 24) {
        for (int32_t y = height - 1; y >= 0; --y) {
            ReadRow(stream, row);
            ConvertPixels(row.data(), FORMAT_BGR888, pixmap->PixelPtr(0, y), format, width);
        }
    } else {
        for (int32_t y = height - 1; y >= 0; --y) {
            uint8_t* out = pixmap->PixelPtr(0, y);
            std::memset(out, 0, size_t(rowBytes));
            stream.ReadBytes(out, int32_t(rowBytes));
        }
    }
    return pixmap;
}

}  // namespace corvex

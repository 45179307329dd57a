// Test images built in memory: PNG and JPEG through libpng and libjpeg directly, BMP and TGA
// byte by byte. Used by the codec tests, the converter tests and the fuzz seed corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvex::testimages {

using Bytes = std::vector<uint8_t>;

// ---- PNG (libpng, no framework code)
struct TPngLayout {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colorType = 2;                     // PNG_COLOR_TYPE_*
    bool interlaced = false;
    std::vector<Bytes> rows;               // packed PNG rows, big-endian 16-bit samples
    std::vector<uint8_t> palette;          // R, G, B per entry (colour type 3)
    std::vector<uint8_t> paletteAlpha;     // tRNS for palette images
    bool hasTransColour = false;           // tRNS for grey and RGB images
    uint16_t transGrey = 0, transRed = 0, transGreen = 0, transBlue = 0;
};
Bytes EncodePng(const TPngLayout& layout);
// A valid signature and IHDR chunk (correct CRC) claiming width x height, then an IEND.
Bytes PngHeaderOnly(uint32_t width, uint32_t height, int bitDepth = 8, int colorType = 6);
// An RGBA test pattern of the given size (stays compressible, so 4096x4096 is a few MB).
Bytes EncodeRgbaPatternPng(int width, int height);

// ---- JPEG (libjpeg, no framework code)
// components 1 (grey), 3 (RGB) or 4 (CMYK); pixels hold width * height * components bytes.
Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality = 90,
                 bool progressive = false);
Bytes PatternPixels(int width, int height, int components);  // smooth gradients

// ---- BMP and TGA, byte by byte (little-endian)
void PutShort(Bytes& out, uint32_t v);
void PutInt(Bytes& out, uint32_t v);
// The 54-byte header the loader reads: 'B', 'M', file header, 40-byte info header.
Bytes BmpHeader(int32_t width, int32_t height, int bits, uint32_t coloursUsed = 0);
// The 18-byte header: id length, colour-map type, image type, map layout, origin, size, depth.
Bytes TgaHeader(int width, int height, int imageType, int bits, int idLength = 0, int mapType = 0);

// ---- Files
// A path in the temporary directory unique to this process, so parallel test runs never share.
std::string TempPath(const std::string& name);
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

}  // namespace corvex::testimages

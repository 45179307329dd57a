#include "pixmap/test_images.h"

#include <png.h>
#include <zlib.h>


#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include <jpeglib.h>

namespace corvex::testimages {
namespace {

void AppendPng(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void FlushPng(png_structp) {}

// Encoding in a function of its own: only plain data lives across setjmp.
bool WritePng(png_structp png, png_infop info, const TPngLayout* layout, png_bytepp rows, Bytes* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, AppendPng, FlushPng);
    png_set_IHDR(png, info, png_uint_32(layout->width), png_uint_32(layout->height), layout->bitDepth,
                 layout->colorType, layout->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout->palette.empty()) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(layout->palette.data()),
                     int(layout->palette.size() / 3));
    }
    if (!layout->paletteAlpha.empty()) {
        png_set_tRNS(png, info, layout->paletteAlpha.data(), int(layout->paletteAlpha.size()), nullptr);
    }
    if (layout->hasTransColour) {
        png_color_16 colour{};
        colour.gray = layout->transGrey;
        colour.red = layout->transRed;
        colour.green = layout->transGreen;
        colour.blue = layout->transBlue;
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

void PutBigInt(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void PutChunk(Bytes& out, const char* type, const Bytes& data) {
    PutBigInt(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + start, uInt(out.size() - start));
    PutBigInt(out, uint32_t(crc));
}

struct TJpegCatch {
    jpeg_error_mgr err;
    jmp_buf jump;
};
void JpegFail(j_common_ptr cinfo) { longjmp(reinterpret_cast<TJpegCatch*>(cinfo->err)->jump, 1); }

bool WriteJpeg(jpeg_compress_struct* cinfo, TJpegCatch* err, int w, int h, int components,
               const uint8_t* pixels, int quality, bool progressive, unsigned char** out,
               unsigned long* size) {
    if (setjmp(err->jump)) return false;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, out, size);
    cinfo->image_width = JDIMENSION(w);
    cinfo->image_height = JDIMENSION(h);
    cinfo->input_components = components;
    cinfo->in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(cinfo);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels) + size_t(cinfo->next_scanline) * w * components;
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

Bytes EncodePng(const TPngLayout& layout) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    for (const Bytes& row : layout.rows) rows.push_back(const_cast<png_bytep>(row.data()));
    bool ok = WritePng(png, info, &layout, rows.data(), &out);
    png_destroy_write_struct(&png, &info);
    if (!ok) throw std::runtime_error("test PNG encoding failed");
    return out;
}

Bytes PngHeaderOnly(uint32_t width, uint32_t height, int bitDepth, int colorType) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    PutBigInt(ihdr, width);
    PutBigInt(ihdr, height);
    ihdr.insert(ihdr.end(), {uint8_t(bitDepth), uint8_t(colorType), 0, 0, 0});
    PutChunk(out, "IHDR", ihdr);
    PutChunk(out, "IEND", {});
    return out;
}

Bytes EncodeRgbaPatternPng(int width, int height) {
    TPngLayout layout;
    layout.width = width;
    layout.height = height;
    layout.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    layout.rows.resize(size_t(height));
    for (int y = 0; y < height; ++y) {
        Bytes& row = layout.rows[size_t(y)];
        row.resize(size_t(width) * 4);
        for (int x = 0; x < width; ++x) {
            row[4 * x] = uint8_t(x);
            row[4 * x + 1] = uint8_t(y);
            row[4 * x + 2] = uint8_t((x ^ y) & 0xF0);
            row[4 * x + 3] = uint8_t(255 - (x >> 4));
        }
    }
    return EncodePng(layout);
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality,
                 bool progressive) {
    jpeg_compress_struct cinfo{};
    TJpegCatch err{};
    cinfo.err = jpeg_std_error(&err.err);
    err.err.error_exit = JpegFail;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    bool ok = WriteJpeg(&cinfo, &err, width, height, components, pixels.data(), quality,
                        progressive, &out, &size);
    jpeg_destroy_compress(&cinfo);
    Bytes result;
    if (ok && out) result.assign(out, out + size);
    std::free(out);
    if (!ok) throw std::runtime_error("test JPEG encoding failed");
    return result;
}

Bytes PatternPixels(int width, int height, int components) {
    Bytes pixels(size_t(width) * height * components);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                pixels[(size_t(y) * width + x) * components + c] =
                    uint8_t((x * 255 / (width > 1 ? width - 1 : 1)) * (c != 1) / 2 +
                            (y * 255 / (height > 1 ? height - 1 : 1)) * (c != 0) / 2);
    return pixels;
}

void PutShort(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void PutInt(Bytes& out, uint32_t v) {
    PutShort(out, v & 0xFFFF);
    PutShort(out, v >> 16);
}

Bytes BmpHeader(int32_t width, int32_t height, int bits, uint32_t coloursUsed) {
    Bytes out = {'B', 'M'};
    PutInt(out, 0);   // file size
    PutInt(out, 0);   // reserved
    PutInt(out, 54);  // data offset
    PutInt(out, 40);  // info header size
    PutInt(out, uint32_t(width));
    PutInt(out, uint32_t(height));
    PutShort(out, 1);
    PutShort(out, uint32_t(bits));
    PutInt(out, 0);   // compression
    PutInt(out, 0);   // image size
    PutInt(out, 2835);
    PutInt(out, 2835);
    PutInt(out, coloursUsed);
    PutInt(out, 0);
    return out;
}

Bytes TgaHeader(int width, int height, int imageType, int bits, int idLength, int mapType) {
    Bytes out = {uint8_t(idLength), uint8_t(mapType), uint8_t(imageType), 0, 0, 0, 0, 0};
    PutShort(out, 0);
    PutShort(out, 0);
    PutShort(out, uint32_t(width));
    PutShort(out, uint32_t(height));
    out.push_back(uint8_t(bits));
    out.push_back(0);
    return out;
}

std::string TempPath(const std::string& name) {
    // The system's temporary folder ($TMPDIR or /tmp on Linux, %TEMP% on Windows); a random
    // part keeps concurrent test programs apart.
    static const std::string unique = std::to_string(std::random_device{}());
    return (std::filesystem::temp_directory_path() / ("corvex_" + unique + "_" + name)).string();
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace corvex::testimages

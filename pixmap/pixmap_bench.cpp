// Decoding a large PNG (4096 x 4096 RGBA) and a large JPEG (4096 x 4096 RGB) through
// LoadPixmap, against libpng and libjpeg driven directly from memory. Results: BENCHMARKS.md.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include <corvex/pixmap/loader.h>
#include "pixmap/test_images.h"

namespace {

using corvex::testimages::Bytes;
constexpr int kSide = 4096;

const Bytes& PngFile() {
    static const Bytes bytes = corvex::testimages::EncodeRgbaPatternPng(kSide, kSide);
    return bytes;
}

const Bytes& JpegFile() {
    static const Bytes bytes =
        corvex::testimages::EncodeJpeg(kSide, kSide, 3, corvex::testimages::PatternPixels(kSide, kSide, 3), 90);
    return bytes;
}

void BM_LoadPixmapPng(benchmark::State& state) {
    corvex::StartPixmapModule();
    const Bytes& file = PngFile();
    for (auto _ : state) {
        auto pixmap = corvex::LoadPixmap(corvex::TRamStream::Create(file.data(), int32_t(file.size()), true));
        if (!pixmap || pixmap->width != kSide) state.SkipWithError("PNG did not load");
        benchmark::DoNotOptimize(pixmap->pixels);
    }
}

// ---- libpng directly: memory source, the same transformations, one contiguous buffer.
struct TMemoryReader {
    const uint8_t* data;
    size_t size, pos;
};
void ReadMemory(png_structp png, png_bytep out, size_t length) {
    auto* r = static_cast<TMemoryReader*>(png_get_io_ptr(png));
    if (length > r->size - r->pos) png_error(png, "truncated");
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
}
// The pixel buffer and row pointers are plain malloc'd memory owned by the caller (they outlive
// a longjmp), and the pixel buffer is not cleared, as a pixmap's is not.
struct TDirectImage {
    uint8_t* pixels = nullptr;
    uint8_t** rows = nullptr;
    ~TDirectImage() {
        std::free(pixels);
        std::free(rows);
    }
};

bool DecodePngDirect(png_structp png, png_infop info, TMemoryReader* reader, TDirectImage* image) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, reader, ReadMemory);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_expand(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    image->pixels = static_cast<uint8_t*>(std::malloc(rowBytes * height));
    image->rows = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*) * height));
    if (!image->pixels || !image->rows) return false;
    for (png_uint_32 y = 0; y < height; ++y) image->rows[y] = image->pixels + y * rowBytes;
    png_read_image(png, image->rows);
    png_read_end(png, nullptr);
    return true;
}

void BM_DirectLibpng(benchmark::State& state) {
    const Bytes& file = PngFile();
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        TMemoryReader reader{file.data(), file.size(), 0};
        TDirectImage image;
        bool ok = DecodePngDirect(png, info, &reader, &image);
        png_destroy_read_struct(&png, &info, nullptr);
        if (!ok) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(image.pixels);
    }
}

void BM_LoadPixmapJpeg(benchmark::State& state) {
    corvex::StartPixmapModule();
    const Bytes& file = JpegFile();
    for (auto _ : state) {
        auto pixmap = corvex::LoadPixmap(corvex::TRamStream::Create(file.data(), int32_t(file.size()), true));
        if (!pixmap || pixmap->width != kSide) state.SkipWithError("JPEG did not load");
        benchmark::DoNotOptimize(pixmap->pixels);
    }
}

// ---- libjpeg directly: its own memory source, scanlines into one buffer.
struct TJpegFail {
    jpeg_error_mgr err;
    jmp_buf jump;
};
void JpegFail(j_common_ptr cinfo) { longjmp(reinterpret_cast<TJpegFail*>(cinfo->err)->jump, 1); }
bool DecodeJpegDirect(jpeg_decompress_struct* cinfo, TJpegFail* fail, const Bytes* file,
                      TDirectImage* image) {
    if (setjmp(fail->jump)) return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, file->data(), static_cast<unsigned long>(file->size()));
    jpeg_read_header(cinfo, TRUE);
    jpeg_start_decompress(cinfo);
    size_t stride = size_t(cinfo->output_width) * cinfo->output_components;
    image->pixels = static_cast<uint8_t*>(std::malloc(stride * cinfo->output_height));
    if (!image->pixels) return false;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = image->pixels + stride * cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

void BM_DirectLibjpeg(benchmark::State& state) {
    const Bytes& file = JpegFile();
    for (auto _ : state) {
        jpeg_decompress_struct cinfo{};
        TJpegFail fail{};
        cinfo.err = jpeg_std_error(&fail.err);
        fail.err.error_exit = JpegFail;
        TDirectImage image;
        bool ok = DecodeJpegDirect(&cinfo, &fail, &file, &image);
        jpeg_destroy_decompress(&cinfo);
        if (!ok) state.SkipWithError("libjpeg failed");
        benchmark::DoNotOptimize(image.pixels);
    }
}

BENCHMARK(BM_LoadPixmapPng)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DirectLibpng)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_LoadPixmapJpeg)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DirectLibjpeg)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

BENCHMARK_MAIN();

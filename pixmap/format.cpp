#include <corvex/pixmap/format.h>

#include <cstring>

namespace corvex {

const int BytesPerPixel[FORMAT_COUNT] = {0, 1, 1, 3, 3, 4, 4, 1, 1, 1, 1, 1, 1};
const int AlphaBitsPerPixel[FORMAT_COUNT] = {0, 0, 8, 0, 0, 8, 8, 0, 0, 0, 8, 0, 0};

bool IsPixelFormat(int format) { return format >= 1 && format < FORMAT_COUNT; }

int FormatBytes(int format) {
    return format >= 0 && format < FORMAT_COUNT ? BytesPerPixel[format] : 0;
}

const char* PixelFormatName(int format) {
    static const char* const names[FORMAT_COUNT] = {
        "FORMAT_NONE",      "FORMAT_I8",         "FORMAT_A8",         "FORMAT_BGR888",
        "FORMAT_RGB888",    "FORMAT_BGRA8888",   "FORMAT_RGBA8888",   "FORMAT_RED8",
        "FORMAT_GREEN8",    "FORMAT_BLUE8",      "FORMAT_ALPHA8",     "FORMAT_INTENSITY8",
        "FORMAT_LUMINANCE8"};
    return IsPixelFormat(format) ? names[format] : names[0];
}

void CopyPixels(const uint8_t* src, uint8_t* dst, int format, int count) {
    if (count <= 0) return;
    size_t bytes = size_t(count) * size_t(FormatBytes(format));
    if (bytes) std::memcpy(dst, src, bytes);
}

void ExpandToRGBA(const uint8_t* s, uint8_t* d, int srcFormat, int count) {
    // One straight loop per format: this runs for every row of every conversion.
    auto fill = [&](auto pixel) {
        for (int i = 0; i < count; ++i, d += 4) pixel(i);
    };
    switch (srcFormat) {
    case FORMAT_I8:
    case FORMAT_LUMINANCE8:
        fill([&](int i) { d[0] = d[1] = d[2] = s[i]; d[3] = 255; });
        break;
    case FORMAT_A8:
        fill([&](int i) { d[0] = d[1] = d[2] = 255; d[3] = s[i]; });
        break;
    case FORMAT_BGR888:
        fill([&](int i) { d[0] = s[3 * i + 2]; d[1] = s[3 * i + 1]; d[2] = s[3 * i]; d[3] = 255; });
        break;
    case FORMAT_RGB888:
        fill([&](int i) { d[0] = s[3 * i]; d[1] = s[3 * i + 1]; d[2] = s[3 * i + 2]; d[3] = 255; });
        break;
    case FORMAT_BGRA8888:
        fill([&](int i) {
            d[0] = s[4 * i + 2]; d[1] = s[4 * i + 1]; d[2] = s[4 * i]; d[3] = s[4 * i + 3];
        });
        break;
    case FORMAT_RGBA8888:
        CopyPixels(s, d, FORMAT_RGBA8888, count);
        break;
    case FORMAT_RED8:
        fill([&](int i) { d[0] = s[i]; d[1] = d[2] = 0; d[3] = 255; });
        break;
    case FORMAT_GREEN8:
        fill([&](int i) { d[0] = d[2] = 0; d[1] = s[i]; d[3] = 255; });
        break;
    case FORMAT_BLUE8:
        fill([&](int i) { d[0] = d[1] = 0; d[2] = s[i]; d[3] = 255; });
        break;
    case FORMAT_ALPHA8:
        fill([&](int i) { d[0] = d[1] = d[2] = 0; d[3] = s[i]; });
        break;
    case FORMAT_INTENSITY8:
        fill([&](int i) { d[0] = d[1] = d[2] = d[3] = s[i]; });
        break;
    default:
        break;  // unknown formats write nothing
    }
}

void ReduceFromRGBA(const uint8_t* s, uint8_t* d, int dstFormat, int count) {
    auto each = [&](auto pixel) {
        for (int i = 0; i < count; ++i, s += 4) pixel(i);
    };
    switch (dstFormat) {
    case FORMAT_I8:
    case FORMAT_LUMINANCE8:
        each([&](int i) { d[i] = uint8_t((unsigned(s[0]) + s[1] + s[2]) / 3); });
        break;
    case FORMAT_A8:
    case FORMAT_ALPHA8:
        each([&](int i) { d[i] = s[3]; });
        break;
    case FORMAT_BGR888:
        each([&](int i) { d[3 * i] = s[2]; d[3 * i + 1] = s[1]; d[3 * i + 2] = s[0]; });
        break;
    case FORMAT_RGB888:
        each([&](int i) { d[3 * i] = s[0]; d[3 * i + 1] = s[1]; d[3 * i + 2] = s[2]; });
        break;
    case FORMAT_BGRA8888:
        each([&](int i) {
            d[4 * i] = s[2]; d[4 * i + 1] = s[1]; d[4 * i + 2] = s[0]; d[4 * i + 3] = s[3];
        });
        break;
    case FORMAT_RGBA8888:
        CopyPixels(s, d, FORMAT_RGBA8888, count);
        break;
    case FORMAT_RED8:
        each([&](int i) { d[i] = s[0]; });
        break;
    case FORMAT_GREEN8:
        each([&](int i) { d[i] = s[1]; });
        break;
    case FORMAT_BLUE8:
        each([&](int i) { d[i] = s[2]; });
        break;
    case FORMAT_INTENSITY8:
        each([&](int i) { d[i] = uint8_t((unsigned(s[0]) + s[1] + s[2] + s[3]) >> 2); });
        break;
    default:
        break;
    }
}

void ConvertPixels(const uint8_t* src, int srcFormat, uint8_t* dst, int dstFormat, int count) {
    if (count <= 0) return;
    if (srcFormat == dstFormat) {
        CopyPixels(src, dst, srcFormat, count);
    } else if (srcFormat == FORMAT_RGBA8888) {
        ReduceFromRGBA(src, dst, dstFormat, count);
    } else if (dstFormat == FORMAT_RGBA8888) {
        ExpandToRGBA(src, dst, srcFormat, count);
    } else if (IsPixelFormat(srcFormat) && IsPixelFormat(dstFormat)) {
        // Through RGBA in pieces, so a long run needs no heap buffer.
        constexpr int chunk = 512;
        uint8_t rgba[chunk * 4];
        int srcBytes = BytesPerPixel[srcFormat], dstBytes = BytesPerPixel[dstFormat];
        for (int done = 0; done < count; done += chunk) {
            int n = count - done < chunk ? count - done : chunk;
            ExpandToRGBA(src + size_t(done) * srcBytes, rgba, srcFormat, n);
            ReduceFromRGBA(rgba, dst + size_t(done) * dstBytes, dstFormat, n);
        }
    }
}

}  // namespace corvex

// Pixel formats, their tables, and the run converters every pixmap operation uses.
//
// Every format stores one byte per channel in the order of its name, so the layout does not
// depend on the processor's byte order. FORMAT_RGBA8888 is the hub: a conversion between two
// other formats expands to RGBA and reduces from it. A single pixel travels as a 32-bit ARGB
// value (alpha in bits 24-31, red 16-23, green 8-15, blue 0-7).
#pragma once

#include <cstdint>

namespace corvex {

// ---- Format codes (0 is "no format")
constexpr int FORMAT_I8 = 1;           // v            -> v, v, v, 255
constexpr int FORMAT_A8 = 2;           // a            -> 255, 255, 255, a
constexpr int FORMAT_BGR888 = 3;       // B, G, R      -> R, G, B, 255
constexpr int FORMAT_RGB888 = 4;       // R, G, B      -> R, G, B, 255
constexpr int FORMAT_BGRA8888 = 5;     // B, G, R, A
constexpr int FORMAT_RGBA8888 = 6;     // R, G, B, A   (the hub format)
constexpr int FORMAT_RED8 = 7;         // r            -> r, 0, 0, 255
constexpr int FORMAT_GREEN8 = 8;       // g            -> 0, g, 0, 255
constexpr int FORMAT_BLUE8 = 9;        // b            -> 0, 0, b, 255
constexpr int FORMAT_ALPHA8 = 10;      // a            -> 0, 0, 0, a
constexpr int FORMAT_INTENSITY8 = 11;  // v            -> v, v, v, v
constexpr int FORMAT_LUMINANCE8 = 12;  // v            -> v, v, v, 255
constexpr int FORMAT_COUNT = 13;       // size of the tables below

// ---- Tables, indexed by format code 0..12
extern const int BytesPerPixel[FORMAT_COUNT];
extern const int AlphaBitsPerPixel[FORMAT_COUNT];

bool IsPixelFormat(int format);          // 1..12
int FormatBytes(int format);             // BytesPerPixel, 0 for codes outside 0..12
const char* PixelFormatName(int format); // "FORMAT_RGB888"; "FORMAT_NONE" for 0 and unknown codes

// ---- Runs of pixels (count pixels; source and destination never overlap)
void CopyPixels(const uint8_t* src, uint8_t* dst, int format, int count);          // block copy
void ConvertPixels(const uint8_t* src, int srcFormat, uint8_t* dst, int dstFormat,
                   int count);                                                     // any to any
void ExpandToRGBA(const uint8_t* src, uint8_t* dst, int srcFormat, int count);     // to RGBA8888
void ReduceFromRGBA(const uint8_t* src, uint8_t* dst, int dstFormat, int count);   // from RGBA8888

}  // namespace corvex

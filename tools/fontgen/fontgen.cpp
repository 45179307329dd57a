// fontgen: turns an 8-pixel-wide PCF bitmap font into the built-in font table.
//
// Usage: corvex_fontgen FONT.pcf[.gz] OUTPUT.cpp
//
// The table holds 96 glyphs (codes 32 to 127) in 16 rows of 96 bytes: byte r * 96 + g is pixel
// row r of glyph g, bit b is column b (bit 0 = left column). Glyphs are placed with their
// baseline under row 10, so capitals fill rows 2 to 10 and descenders rows 11 and 12; ink is
// kept to rows 1 to 12 and columns 1 to 7 so that column 0 separates neighbours. The capital A
// is drawn by hand below, as is code 127 when the font has no glyph for it.
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kGlyphs = 96;
constexpr int kRows = 16;
constexpr int kBaselineRow = 11;  // first row below the baseline
constexpr int kTopRow = 1;        // highest row that may carry ink
constexpr int kBottomRow = 12;    // lowest row that may carry ink

const uint8_t kCapitalA[kRows] = {0, 0, 0x7C, 0xC6, 0xC6, 0xC6, 0xFE, 0xC6,
                                  0xC6, 0xC6, 0xC6, 0, 0, 0, 0, 0};
// Code 127 when the font has no glyph for it: a hollow box, so that only the space is blank.
const uint8_t kDeleteBox[kRows] = {0, 0, 0xFE, 0x82, 0x82, 0x82, 0x82, 0x82,
                                   0x82, 0x82, 0xFE, 0, 0, 0, 0, 0};

std::vector<uint8_t> ReadGzipFile(const char* path) {
    std::vector<uint8_t> data;
    gzFile file = gzopen(path, "rb");
    if (!file) return data;
    uint8_t buffer[65536];
    int n;
    while ((n = gzread(file, buffer, sizeof buffer)) > 0) data.insert(data.end(), buffer, buffer + n);
    gzclose(file);
    return data;
}

struct Reader {
    const std::vector<uint8_t>& data;
    size_t pos;
    bool msb = false;

    bool Has(size_t n) const { return pos <= data.size() && n <= data.size() - pos; }
    void Need(size_t n) const {
        if (!Has(n)) throw std::runtime_error("font data ends early");
    }
    uint32_t U32Lsb() {
        Need(4);
        uint32_t v = data[pos] | data[pos + 1] << 8 | data[pos + 2] << 16 | uint32_t(data[pos + 3]) << 24;
        pos += 4;
        return v;
    }
    int32_t I32() {
        Need(4);
        uint32_t v = msb ? uint32_t(data[pos]) << 24 | data[pos + 1] << 16 | data[pos + 2] << 8 | data[pos + 3]
                         : data[pos] | data[pos + 1] << 8 | data[pos + 2] << 16 | uint32_t(data[pos + 3]) << 24;
        pos += 4;
        return int32_t(v);
    }
    int16_t I16() {
        Need(2);
        uint16_t v = msb ? uint16_t(data[pos] << 8 | data[pos + 1]) : uint16_t(data[pos] | data[pos + 1] << 8);
        pos += 2;
        return int16_t(v);
    }
    uint8_t U8() {
        Need(1);
        return data[pos++];
    }
};

struct Metrics {
    int left = 0, right = 0, width = 0, ascent = 0, descent = 0;
};

struct Table {
    uint32_t format = 0, offset = 0, size = 0;
};

constexpr uint32_t kMetricsTable = 4, kBitmapsTable = 8, kEncodingsTable = 32;
constexpr uint32_t kByteMsb = 1 << 2, kBitMsb = 1 << 3, kCompressedMetrics = 0x100;

bool Fail(const char* message) {
    std::fprintf(stderr, "fontgen: %s\n", message);
    return false;
}

// Reads the glyph bitmaps for codes 32..127 as rows of (left-aligned, MSB = leftmost) bits.
bool LoadPcf(const std::vector<uint8_t>& file, std::map<int, std::pair<Metrics, std::vector<uint32_t>>>& out) {
    if (file.size() < 8 || std::memcmp(file.data(), "\1fcp", 4) != 0) return Fail("not a PCF font");
    Reader header{file, 4};
    uint32_t count = header.U32Lsb();
    std::map<uint32_t, Table> tables;
    for (uint32_t i = 0; i < count && header.Has(16); ++i) {
        uint32_t type = header.U32Lsb();
        Table t;
        t.format = header.U32Lsb();
        t.size = header.U32Lsb();
        t.offset = header.U32Lsb();
        if (t.offset > file.size()) return Fail("table outside the file");
        tables[type] = t;
    }
    if (!tables.count(kMetricsTable) || !tables.count(kBitmapsTable) || !tables.count(kEncodingsTable))
        return Fail("font lacks metrics, bitmaps or encodings");

    // Metrics.
    Reader r{file, tables[kMetricsTable].offset};
    uint32_t format = r.U32Lsb();
    r.msb = format & kByteMsb;
    std::vector<Metrics> metrics;
    if (format & kCompressedMetrics) {
        int n = uint16_t(r.I16());
        for (int i = 0; i < n && r.Has(5); ++i) {
            Metrics m;
            m.left = r.U8() - 0x80;
            m.right = r.U8() - 0x80;
            m.width = r.U8() - 0x80;
            m.ascent = r.U8() - 0x80;
            m.descent = r.U8() - 0x80;
            metrics.push_back(m);
        }
    } else {
        int n = r.I32();
        for (int i = 0; i < n && r.Has(12); ++i) {
            Metrics m;
            m.left = r.I16();
            m.right = r.I16();
            m.width = r.I16();
            m.ascent = r.I16();
            m.descent = r.I16();
            r.I16();  // attributes
            metrics.push_back(m);
        }
    }

    // Bitmaps.
    Reader b{file, tables[kBitmapsTable].offset};
    format = b.U32Lsb();
    b.msb = format & kByteMsb;
    bool bitMsb = format & kBitMsb;
    int pad = 1 << (format & 3);
    if (((format >> 4) & 3) != 0) return Fail("only byte scan units are handled");
    int glyphCount = b.I32();
    if (glyphCount != int(metrics.size()) || glyphCount < 0) return Fail("glyph count mismatch");
    std::vector<int32_t> offsets(glyphCount);
    for (auto& o : offsets) o = b.I32();
    int32_t sizes[4];
    for (auto& s : sizes) s = b.I32();
    size_t bitmapStart = b.pos;
    size_t bitmapSize = size_t(sizes[format & 3]);
    if (bitmapStart + bitmapSize > file.size()) return Fail("bitmaps outside the file");

    // Encodings.
    Reader e{file, tables[kEncodingsTable].offset};
    format = e.U32Lsb();
    e.msb = format & kByteMsb;
    int min2 = e.I16(), max2 = e.I16(), min1 = e.I16(), max1 = e.I16();
    e.I16();  // default char
    if (min1 != 0 || max1 != 0) {
        // Two-byte fonts: only row 0 (codes below 256) is used here.
        max1 = 0;
    }
    for (int code = 32; code < 128; ++code) {
        if (code < min2 || code > max2) continue;
        Reader idx{file, e.pos + size_t(code - min2) * 2, e.msb};
        uint16_t glyph = uint16_t(idx.I16());
        if (glyph == 0xFFFF || glyph >= metrics.size()) continue;
        const Metrics& m = metrics[glyph];
        int w = m.right - m.left, h = m.ascent + m.descent;
        if (w > 32) return Fail("glyph wider than 32 pixels");
        int rowBytes = ((w + 7) / 8 + pad - 1) / pad * pad;
        size_t start = bitmapStart + size_t(offsets[glyph]);
        if (offsets[glyph] < 0 || start + size_t(rowBytes) * h > bitmapStart + bitmapSize)
            return Fail("glyph bitmap outside the table");
        std::vector<uint32_t> rows(h);
        for (int y = 0; y < h; ++y) {
            uint32_t bits = 0;
            for (int x = 0; x < w; ++x) {
                uint8_t byte = file[start + size_t(y) * rowBytes + x / 8];
                bool set = bitMsb ? (byte >> (7 - x % 8)) & 1 : (byte >> (x % 8)) & 1;
                if (set) bits |= 1u << x;  // bit x = column x of the glyph box
            }
            rows[y] = bits;
        }
        out[code] = {m, rows};
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvex_fontgen FONT.pcf[.gz] OUTPUT.cpp\n");
        return 2;
    }
    std::vector<uint8_t> file = ReadGzipFile(argv[1]);
    std::map<int, std::pair<Metrics, std::vector<uint32_t>>> glyphs;
    try {
        if (!LoadPcf(file, glyphs)) return 1;
    } catch (const std::exception& e) {
        return Fail(e.what()), 1;
    }

    std::array<uint8_t, kGlyphs * kRows> table{};
    int clipped = 0;
    for (auto& [code, glyph] : glyphs) {
        const Metrics& m = glyph.first;
        int g = code - 32;
        // The source cells leave their right column blank; one column to the right puts the
        // blank column on the left instead.
        int shift = 1;
        for (size_t y = 0; y < glyph.second.size(); ++y) {
            int row = kBaselineRow - m.ascent + int(y);
            for (int x = 0; x < 32; ++x) {
                if (!((glyph.second[y] >> x) & 1)) continue;
                int col = m.left + x + shift;
                if (row < kTopRow || row > kBottomRow || col < 1 || col > 7) {
                    ++clipped;
                    continue;
                }
                table[size_t(row) * kGlyphs + g] |= uint8_t(1u << col);
            }
        }
    }
    for (int r = 0; r < kRows; ++r) table[size_t(r) * kGlyphs + (65 - 32)] = kCapitalA[r];
    if (!glyphs.count(127))
        for (int r = 0; r < kRows; ++r) table[size_t(r) * kGlyphs + (127 - 32)] = kDeleteBox[r];

    FILE* out = std::fopen(argv[2], "w");
    if (!out) return Fail("cannot write the output"), 1;
    std::fprintf(out,
                 "// Generated by tools/fontgen from the public-domain misc-fixed 8x13 bold font\n"
                 "// (Debian package xfonts-base, font-misc-misc: \"Public domain font.  Share and enjoy.\").\n"
                 "// Do not edit: run corvex_fontgen again instead (see tools/fontgen/README.md).\n"
                 "#include \"stream/fontbits.h\"\n\nnamespace corvex {\n\n"
                 "// 16 rows of 96 bytes; byte r * 96 + g is row r of glyph g (code g + 32), bit b is column b.\n"
                 "const unsigned char kBuiltinFontBits[kBuiltinFontSize] = {\n");
    for (int r = 0; r < kRows; ++r) {
        std::fprintf(out, "    // row %d\n", r);
        for (int g = 0; g < kGlyphs; g += 12) {
            std::fprintf(out, "   ");
            for (int i = g; i < g + 12; ++i) std::fprintf(out, " 0x%02X,", table[size_t(r) * kGlyphs + i]);
            std::fprintf(out, "\n");
        }
    }
    std::fprintf(out, "};\n\n}  // namespace corvex\n");
    std::fclose(out);
    if (clipped) std::fprintf(stderr, "fontgen: %d ink pixels fell outside rows 1-12 / columns 1-7\n", clipped);
    return 0;
}

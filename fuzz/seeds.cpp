// Writes the seed corpus: small valid images of every kind each decoder reads, made with
// libpng, libjpeg and hand-built BMP and TGA bytes. Usage: fuzz_seeds DIR
// Creates DIR/png, DIR/jpeg, DIR/bmp, DIR/tga and DIR/all (every image seed), and DIR/text.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pixmap/test_images.h"

using namespace corvex::testimages;

namespace {

std::string root;

void Seed(const std::string& kind, const std::string& name, const Bytes& bytes) {
    WriteFile(root + "/" + kind + "/" + name, bytes);
    WriteFile(root + "/all/" + kind + "-" + name, bytes);
}

Bytes Row(int bytes, int salt) {
    Bytes row(static_cast<size_t>(bytes));
    for (int i = 0; i < bytes; ++i) row[size_t(i)] = uint8_t(i * 37 + salt * 11);
    return row;
}

void PngSeeds() {
    struct Kind {
        int colorType;
        std::vector<int> depths;
        int channels;
    };
    const Kind kinds[] = {{0, {1, 2, 4, 8, 16}, 1}, {2, {8, 16}, 3}, {3, {1, 2, 4, 8}, 1},
                          {4, {8, 16}, 2},          {6, {8, 16}, 4}};
    for (const Kind& kind : kinds) {
        for (int depth : kind.depths) {
            for (int variant = 0; variant < 3; ++variant) {
                TPngLayout layout;
                layout.width = 7;
                layout.height = 5;
                layout.bitDepth = depth;
                layout.colorType = kind.colorType;
                layout.interlaced = variant == 1;
                int rowBytes = (layout.width * kind.channels * depth + 7) / 8;
                for (int y = 0; y < layout.height; ++y) layout.rows.push_back(Row(rowBytes, y));
                if (kind.colorType == 3) {
                    int entries = 1 << depth;
                    for (int i = 0; i < entries * 3; ++i) layout.palette.push_back(uint8_t(i * 5));
                    if (variant == 2) layout.paletteAlpha = {0, 128};
                    if (depth == 8) {  // keep indices inside the palette
                        for (Bytes& row : layout.rows)
                            for (uint8_t& b : row) b = uint8_t(b % entries);
                    }
                } else if (variant == 2 && (kind.colorType == 0 || kind.colorType == 2)) {
                    layout.hasTransColour = true;
                    layout.transGrey = 1;
                    layout.transRed = layout.transGreen = layout.transBlue = 3;
                }
                std::string name = "t" + std::to_string(kind.colorType) + "-d" + std::to_string(depth) +
                                   "-v" + std::to_string(variant) + ".png";
                Seed("png", name, EncodePng(layout));
            }
        }
    }
}

void JpegSeeds() {
    Seed("jpeg", "grey.jpg", EncodeJpeg(16, 16, 1, PatternPixels(16, 16, 1), 80));
    Seed("jpeg", "rgb.jpg", EncodeJpeg(24, 16, 3, PatternPixels(24, 16, 3), 80));
    Seed("jpeg", "rgb-odd.jpg", EncodeJpeg(13, 7, 3, PatternPixels(13, 7, 3), 50));
    Seed("jpeg", "progressive.jpg", EncodeJpeg(24, 16, 3, PatternPixels(24, 16, 3), 80, true));
    Seed("jpeg", "cmyk.jpg", EncodeJpeg(8, 8, 4, PatternPixels(8, 8, 4), 80));
}

void BmpSeeds() {
    for (int bits : {1, 4, 8, 24, 32}) {
        const int width = 5, height = 3;
        Bytes bmp = BmpHeader(width, height, bits, bits == 8 ? 20 : 0);
        int entries = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 20 : 0;
        for (int i = 0; i < entries; ++i) PutInt(bmp, uint32_t(i * 0x0A0B0C));
        int rowBytes = bits == 32 ? width * 4 : ((width * bits + 7) / 8 + 3) & ~3;
        for (int y = 0; y < height; ++y) {
            Bytes row = Row(rowBytes, y);
            if (bits == 8)
                for (uint8_t& b : row) b = uint8_t(b % 20);
            bmp.insert(bmp.end(), row.begin(), row.end());
        }
        Seed("bmp", "d" + std::to_string(bits) + ".bmp", bmp);
    }
}

void TgaSeeds() {
    for (int bits : {15, 16, 24, 32}) {
        const int width = 6, height = 3, bytes = (bits + 7) / 8;
        Bytes raw = TgaHeader(width, height, 2, bits, 2);
        raw.insert(raw.end(), {'i', 'd'});
        for (int y = 0; y < height; ++y) {
            Bytes row = Row(width * bytes, y);
            raw.insert(raw.end(), row.begin(), row.end());
        }
        Seed("tga", "raw-d" + std::to_string(bits) + ".tga", raw);

        Bytes rle = TgaHeader(width, height, 10, bits);
        for (int y = 0; y < height; ++y) {
            rle.push_back(0x82);  // run of 3
            Bytes value = Row(bytes, y);
            rle.insert(rle.end(), value.begin(), value.end());
            rle.push_back(0x02);  // 3 raw
            Bytes values = Row(3 * bytes, y + 1);
            rle.insert(rle.end(), values.begin(), values.end());
        }
        Seed("tga", "rle-d" + std::to_string(bits) + ".tga", rle);
    }
}

// Text for fuzz_text: the first byte picks the encoding (0 Latin-1, 1 UTF-8, 2 UTF-16BE,
// 3 UTF-16LE). Written to DIR/text only: the image targets do not want them.
void TextSeeds() {
    const std::string utf8 = "line\r\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n\xE2\x82\n\xC0\xAF";
    const auto seed = [](const std::string& name, uint8_t encoding, const std::string& bytes) {
        Bytes out = {encoding};
        out.insert(out.end(), bytes.begin(), bytes.end());
        WriteFile(root + "/text/" + name, out);
    };
    seed("latin1.txt", 0, "caf\xE9\r\nna\xEFve\0end");
    seed("utf8.txt", 1, utf8);
    const Bytes be = {0, 'A', 0xD8, 0x3D, 0xDE, 0x00, 0xD8, 0x00, 0, 'B', 0, 13, 0, 10, 0xDC, 0x00};
    const Bytes le = {'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'B', 0, 13, 0, 10, 0, 0x00, 0xDC, 0x41};
    seed("utf16be.txt", 2, std::string(be.begin(), be.end()));
    seed("utf16le.txt", 3, std::string(le.begin(), le.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    root = argv[1];
    for (const char* sub : {"", "/png", "/jpeg", "/bmp", "/tga", "/all", "/text"}) mkdir((root + sub).c_str(), 0755);
    PngSeeds();
    JpegSeeds();
    BmpSeeds();
    TgaSeeds();
    TextSeeds();
    return 0;
}

// physimg: writes the sandbox's body picture, a wooden crate, as a PNG file.
//
//     physimg OUTPUT.png [SIZE]     (SIZE defaults to 64 pixels square)
#include <cstdio>
#include <cstdlib>
#include <string>

#include <corvex/pixmap/format.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/pixmap/png.h>
#include "tools/physimg/crate.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: physimg OUTPUT.png [SIZE]\n");
        return 2;
    }
    int size = 64;
    if (argc == 3) {
        char* end = nullptr;
        long n = std::strtol(argv[2], &end, 10);
        if (*end != '\0' || n < 16 || n > 4096) {
            std::fprintf(stderr, "physimg: SIZE must be a whole number from 16 to 4096\n");
            return 2;
        }
        size = static_cast<int>(n);
    }
    corvex::StartPixmapModule();
    auto pixels = physimg::PaintCrate(size);
    auto pixmap = corvex::CreatePixmap(size, size, corvex::FORMAT_RGBA8888);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) pixmap->WritePixel(x, y, pixels[static_cast<size_t>(y) * size + x]);
    if (!corvex::SavePngPixmap(pixmap, std::string(argv[1]), 9)) {
        std::fprintf(stderr, "physimg: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

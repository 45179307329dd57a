// Writes the image files the examples load, with the framework's own encoders:
//
//   picture.png  128 x 128 RGBA: a blue disc with a white arrow pointing up, a soft edge and a
//                half-transparent halo, on a fully transparent background
//   photo.jpg    320 x 240 RGB: a sky, a sun and green hills (quality 90)
//   strip.png    256 x 128 RGBA: eight 64 x 64 animation frames, four to a row; frame i is a disc
//                in its own colour with a white hand turned i * 45 degrees clockwise from up
//
// Usage: make_pictures OUTPUT_DIR
// The build runs it for every example that loads pictures, so no binary files are kept in the tree.
#include <cmath>
#include <cstdio>
#include <string>

#include <corvex/pixmap/format.h>
#include <corvex/pixmap/jpeg.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/pixmap/png.h>

using namespace corvex;

namespace {

constexpr float kPi = 3.14159265f;

uint32_t Argb(int a, int r, int g, int b) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// 0 outside, 1 inside, a linear ramp over one pixel at the edge: smooth outlines.
float Coverage(float distance, float radius) { return std::fmin(1.0f, std::fmax(0.0f, radius - distance + 0.5f)); }

// True when (dx, dy), measured from a centre, lies on an arrow pointing up.
bool OnArrow(float dx, float dy) {
    if (std::fabs(dx) < 8 && dy > -22 && dy < 36) return true;           // shaft
    return dy >= -44 && dy <= -22 && std::fabs(dx) < (dy + 44) * 1.1f;  // head
}

Ref<TPixmap> MakePicture() {
    Ref<TPixmap> p = CreatePixmap(128, 128, FORMAT_RGBA8888);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float dx = float(x) - 63.5f, dy = float(y) - 63.5f, r = std::sqrt(dx * dx + dy * dy);
            uint32_t argb = 0;                                       // transparent black
            if (r < 64) argb = Argb(int(96 * Coverage(r, 63)), 255, 255, 255);  // the halo
            float disc = Coverage(r, 52);
            if (disc > 0) {
                bool arrow = OnArrow(dx, dy);
                int cr = arrow ? 255 : 60, cg = arrow ? 255 : 160, cb = arrow ? 255 : 230;
                int a = int(255 * disc + 96 * (1 - disc));
                argb = Argb(a, cr, cg, cb);
            }
            p->WritePixel(x, y, argb);
        }
    return p;
}

Ref<TPixmap> MakePhoto() {
    Ref<TPixmap> p = CreatePixmap(320, 240, FORMAT_RGB888);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            int r = 100 + y / 2, g = 150 + y / 4, b = 235;  // sky, lighter towards the horizon
            float sx = float(x) - 250, sy = float(y) - 60;
            if (sx * sx + sy * sy < 28 * 28) r = 255, g = 230, b = 120;  // sun
            float hill = 170 + 25 * std::sin(float(x) * 0.03f) + 10 * std::sin(float(x) * 0.011f + 1);
            if (float(y) > hill) r = 60, g = 140, b = 60;                 // near hills
            p->WritePixel(x, y, Argb(255, r, g, b));
        }
    return p;
}

// The frame colours, in order: red, orange, yellow, green, cyan, blue, purple, magenta.
constexpr uint32_t kFrameColors[8] = {0xE03030, 0xF08020, 0xE8D020, 0x30C040,
                                      0x20C8D0, 0x3050E0, 0x8040D0, 0xE040B0};

Ref<TPixmap> MakeStrip() {
    Ref<TPixmap> p = CreatePixmap(256, 128, FORMAT_RGBA8888);
    p->ClearPixels(0);
    for (int frame = 0; frame < 8; ++frame) {
        int left = (frame % 4) * 64, top = (frame / 4) * 64;
        float angle = float(frame) * 45 * kPi / 180;  // clockwise from up, y pointing down
        float hx = std::sin(angle), hy = -std::cos(angle);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                float dx = float(x) - 31.5f, dy = float(y) - 31.5f, r = std::sqrt(dx * dx + dy * dy);
                float a = Coverage(r, 28);
                if (a <= 0) continue;
                uint32_t rgb = kFrameColors[frame];
                float along = dx * hx + dy * hy, across = std::fabs(dx * hy - dy * hx);
                if (along > 7 && along < 25 && across < 3) rgb = 0xFFFFFF;  // the hand
                p->WritePixel(left + x, top + y, uint32_t(255 * a) << 24 | rgb);
            }
    }
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures OUTPUT_DIR\n");
        return 2;
    }
    StartPixmapModule();  // the codecs; nothing else is needed to write files
    const std::string dir = argv[1];
    bool ok = SavePngPixmap(MakePicture(), dir + "/picture.png", 9) == 1;
    ok = SaveJpegPixmap(MakePhoto(), dir + "/photo.jpg", 90) == 1 && ok;
    ok = SavePngPixmap(MakeStrip(), dir + "/strip.png", 9) == 1 && ok;
    if (!ok) {
        std::fprintf(stderr, "make_pictures: cannot write the pictures into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}

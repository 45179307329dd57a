// A program built outside the Corvex tree, the way a user builds one: it opens a window, loads
// bands.png (16 x 8: red columns 0-5, blue 6-11, transparent 12-15), draws it turned a quarter
// clockwise and scaled four times about its centre, writes text across it, reads the window back
// and checks the pixels. Exit status 0 when every check holds.
//
// Usage: corvex_consumer PATH/TO/bands.png
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

constexpr int kSize = 200;       // window width and height
constexpr int kCentre = 100;     // where the image's mid handle is drawn
constexpr int kTextX = 60, kTextY = 100;
const char* const kText = "CORVEX";

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "FAIL: %s\n", what.c_str());
        ++failures;
    }
}

struct Rgb {
    int r, g, b;
};

Rgb At(const Ref<TPixmap>& shot, int x, int y) {
    uint32_t argb = shot->ReadPixel(x, y);
    return {int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF), int(argb & 0xFF)};
}

bool Near(Rgb c, Rgb want) {
    return std::abs(c.r - want.r) <= 12 && std::abs(c.g - want.g) <= 12 && std::abs(c.b - want.b) <= 12;
}

std::string Describe(const char* name, int x, int y, Rgb c) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s at (%d, %d), got %d,%d,%d", name, x, y, c.r, c.g, c.b);
    return buf;
}

void ExpectColour(const Ref<TPixmap>& shot, const char* name, int x, int y, Rgb want) {
    Rgb c = At(shot, x, y);
    Check(Near(c, want), Describe(name, x, y, c));
}

void Run(const char* picture) {
    StartCorvex();
    if (!OpenGraphics(kSize, kSize, 0, 0, 0)) throw TRuntimeException("Unable to open a window");

    Ref<TImage> image = LoadImage(picture);
    Check(static_cast<bool>(image), std::string("LoadImage(\"") + picture + "\") gave Null");
    if (!image) return;
    Check(ImageWidth(image) == 16 && ImageHeight(image) == 8, "the picture is 16 x 8");

    const Rgb background{20, 20, 20}, red{220, 40, 40}, blue{40, 60, 220}, white{255, 255, 255};
    SetClsColor(background.r, background.g, background.b);
    Cls();
    SetBlend(BLEND_ALPHA);
    SetColor(255, 255, 255);
    MidHandleImage(image);
    SetRotationAndScale(90, 4, 4);
    DrawImage(image, kCentre, kCentre);
    SetRotationAndScale(0, 1, 1);
    DrawText(kText, kTextX, kTextY);
    Ref<TPixmap> shot = GrabPixmap(0, 0, kSize, kSize);
    Flip(0);

    // Turned clockwise, the image's x axis points down the window: 64 pixels tall, 32 wide,
    // red from y 68 to 92, blue from 92 to 116, the transparent columns below that.
    ExpectColour(shot, "red band", kCentre, 80, red);
    ExpectColour(shot, "blue band", kCentre, 95, blue);
    ExpectColour(shot, "transparent columns show the background", kCentre, 124, background);
    ExpectColour(shot, "left of the turned image", 78, 80, background);
    ExpectColour(shot, "right of the turned image", 122, 80, background);
    ExpectColour(shot, "above the turned image", kCentre, 62, background);

    // The text: glyph pixels in the drawing colour, gaps between them, some over the blue band.
    int text_w = TextWidth(kText), text_h = TextHeight();
    Check(text_w == 8 * 6 && text_h == 16, "the built-in font is 8 x 16");
    int lit = 0, unlit = 0, lit_over_image = 0;
    for (int y = kTextY; y < kTextY + text_h; ++y)
        for (int x = kTextX; x < kTextX + text_w; ++x) {
            bool on = Near(At(shot, x, y), white);
            (on ? lit : unlit) += 1;
            if (on && x >= 86 && x < 114 && y < 114) ++lit_over_image;
        }
    Check(lit > 40, "text pixels drawn (" + std::to_string(lit) + ")");
    Check(unlit > 40, "gaps between glyphs (" + std::to_string(unlit) + ")");
    Check(lit_over_image > 10, "text drawn over the image (" + std::to_string(lit_over_image) + ")");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PICTURE.png\n", argv[0]);
        return 2;
    }
    // RunApplication changes to the program's own directory, so a relative path is made whole first.
    const std::string picture = std::filesystem::absolute(argv[1]).string();
    int rc = RunApplication(argc, argv, [&] { Run(picture.c_str()); });
    if (rc != 0) return rc;
    if (failures) return 1;
    std::puts("consumer: all checks passed");
    return 0;
}

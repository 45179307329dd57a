// Shapes and blend modes: rectangles, ovals, polygons, lines and points in the drawing colour,
// a square turned about its centre, the five blend modes side by side, and translucency with
// SetAlpha. Escape (or the window's close box) ends the program.
#include <cmath>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

const char* const kBlendNames[5] = {"MASK", "SOLID", "ALPHA", "ADDITIVE", "MULTIPLY"};
const int kBlendModes[5] = {BLEND_MASK, BLEND_SOLID, BLEND_ALPHA, BLEND_ADDITIVE, BLEND_MULTIPLY};

// An 80 x 80 orange disc, opaque in the middle and fading out towards its rim; the corners are
// transparent white. Made in code: lock the image, write pixels, unlock.
Ref<TImage> MakeSoftDisc() {
    Ref<TImage> disc = CreateImage(80, 80, 1, IMAGE_FILTERED);  // keep alpha; no mask colour
    Ref<TPixmap> pixels = LockImage(disc);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            float dx = float(x) + 0.5f - 40, dy = float(y) + 0.5f - 40;
            float r = std::sqrt(dx * dx + dy * dy);
            float a = std::fmin(1.0f, std::fmax(0.0f, (38 - r) / 14));  // 1 inside r = 24, 0 beyond 38
            // Towards white where the disc fades, so that multiplying by the fringe fades too.
            int red = 255, green = int(255 - 105 * a), blue = int(255 - 205 * a);
            pixels->WritePixel(x, y, uint32_t(255 * a) << 24 | uint32_t(red) << 16 | uint32_t(green) << 8 |
                                         uint32_t(blue));
        }
    UnlockImage(disc);
    MidHandleImage(disc);  // draw it centred on the given point
    return disc;
}

void DrawShapes(float seconds) {
    SetBlend(BLEND_SOLID);
    // The drawing colour applies to everything drawn until it changes.
    SetColor(220, 80, 60);
    DrawRect(20, 44, 100, 80);  // x, y, width, height
    SetColor(240, 200, 60);
    DrawOval(140, 44, 100, 80);  // the oval inside that rectangle
    SetColor(80, 200, 120);
    DrawPoly({260, 124, 310, 44, 360, 124});  // x, y pairs

    // Lines of three widths, then a row of single points.
    SetColor(255, 255, 255);
    for (int i = 0; i < 3; ++i) {
        SetLineWidth(float(1 << i));
        DrawLine(390 + 25 * float(i), 44, 420 + 25 * float(i), 114);
    }
    SetLineWidth(1);
    for (int i = 0; i < 10; ++i) Plot(390 + 9 * float(i), 122);

    // Primitives turn and scale like images: about the handle, here the square's centre.
    SetColor(120, 180, 255);
    SetHandle(25, 25);
    SetRotation(seconds * 60);
    DrawRect(560, 84, 50, 50);
    SetRotation(0);
    SetHandle(0, 0);
}

// Each panel: a light top half and a dark bottom half, with the soft disc drawn over both in
// one blend mode. MASK draws only where alpha is at least 0.5 (hard edge); SOLID ignores alpha
// (the whole square shows); ALPHA mixes by alpha; ADDITIVE adds (brightens); MULTIPLY darkens.
void DrawBlendPanels(const Ref<TImage>& disc) {
    for (int i = 0; i < 5; ++i) {
        float x = 20 + 122 * float(i), y = 170;
        SetBlend(BLEND_SOLID);
        SetColor(200, 200, 200);
        DrawRect(x, y, 100, 50);
        SetColor(40, 60, 120);
        DrawRect(x, y + 50, 100, 50);
        SetBlend(BLEND_ALPHA);  // text is drawn from the font's images: keep their alpha
        SetColor(255, 255, 255);
        DrawText(kBlendNames[i], x, y - 20);

        SetBlend(kBlendModes[i]);
        DrawImage(disc, x + 50, y + 50);  // white drawing colour: the image's own colours
    }
}

// Translucency for any drawing: SetAlpha scales the alpha of what follows (with BLEND_ALPHA).
void DrawAlphaRow() {
    SetBlend(BLEND_SOLID);
    SetColor(200, 200, 200);
    DrawRect(20, 300, 600, 80);
    SetBlend(BLEND_ALPHA);
    SetColor(40, 100, 255);
    for (int i = 0; i < 5; ++i) {
        SetAlpha(0.2f * float(i + 1));
        DrawRect(40 + 118 * float(i), 310, 90, 60);
    }
    SetAlpha(1);
    SetColor(255, 255, 255);
    DrawText("SetAlpha 0.2, 0.4, 0.6, 0.8, 1.0", 20, 390);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();  // every module, with OpenGL as the drawing driver
        SetApplicationTitle(u"Corvex example: shapes");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
        Ref<TImage> disc = MakeSoftDisc();
        SetClsColor(24, 28, 40);
        int32_t start = CurrentMillis();

        // KeyHits counts presses since the last call, so even a short tap between two frames ends it.
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            Cls();
            SetColor(255, 255, 255);
            SetBlend(BLEND_ALPHA);
            DrawText("Shapes and blend modes", 20, 12);
            DrawShapes(float(CurrentMillis() - start) / 1000);
            DrawBlendPanels(disc);
            DrawAlphaRow();
            SetColor(160, 160, 160);
            const char* hint = "Press Escape to quit";
            DrawText(hint, 320 - float(TextWidth(hint)) / 2, 450);
            Flip(-1);  // present, paced to the window's 60 Hz
        }
    });
}

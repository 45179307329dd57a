// A first Corvex program: open a window, draw shapes, a turning image and text, and end when
// Escape is pressed.
#include <cmath>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/graphics/graphics.h>
#include <corvex/system/clock.h>
#include <corvex/system/keys.h>
#include <corvex/system/entry.h>
#include <corvex/system/input.h>

using namespace corvex;

namespace {


// A 64 x 64 picture made in code: a ring of colour on a transparent background with a white
// arrow that shows which way is up. Images keep their pixmap, so nothing needs reloading when
// the window changes.
Ref<TImage> MakeBadge() {
    Ref<TImage> image = CreateImage(64, 64, 1, IMAGE_FILTERED);  // alpha, not a mask colour
    Ref<TPixmap> pixels = LockImage(image);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            float dx = float(x) - 31.5f, dy = float(y) - 31.5f;
            float r = std::sqrt(dx * dx + dy * dy);
            uint32_t argb = 0;  // transparent
            if (r < 30 && r > 20) argb = 0xFF000000u | uint32_t(4 * x) << 16 | uint32_t(4 * y) << 8 | 0xC0;
            if (std::abs(dx) < 3 && y > 8 && y < 48) argb = 0xFFFFFFFF;                 // the shaft
            if (y >= 8 && y < 20 && std::abs(dx) < float(y - 7)) argb = 0xFFFFFFFF;  // the head
            pixels->WritePixel(x, y, argb);
        }
    UnlockImage(image);
    MidHandleImage(image);  // turn and place it about its centre
    return image;
}

void DrawScene(const Ref<TImage>& badge, float seconds) {
    SetClsColor(24, 28, 40);
    Cls();

    // Solid shapes. The drawing colour applies to everything until it is changed.
    SetBlend(BLEND_SOLID);
    SetColor(220, 80, 60);
    DrawRect(40, 60, 120, 70);
    SetColor(240, 200, 60);
    DrawOval(200, 60, 120, 70);
    SetColor(80, 200, 120);
    DrawPoly({400, 130, 460, 60, 520, 130});

    // Lines, and a fan of them turning about a shared point.
    SetColor(255, 255, 255);
    DrawLine(40, 160, 600, 160);
    SetColor(120, 180, 255);
    for (int i = 0; i < 12; ++i) {
        float a = float(i) * 30.0f + seconds * 20.0f;
        float x = 120 + 60 * std::cos(a * 0.0174533f), y = 280 + 60 * std::sin(a * 0.0174533f);
        DrawLine(120, 280, x, y);
    }

    // The image, turned and scaled about its mid handle, drawn with alpha blending.
    SetBlend(BLEND_ALPHA);
    SetColor(255, 255, 255);
    SetRotationAndScale(seconds * 45.0f, 1.5f, 1.5f);
    DrawImage(badge, 320, 290);
    SetRotationAndScale(0, 1, 1);

    // A translucent band, like water, over part of the scene.
    SetColor(40, 100, 255);
    SetAlpha(0.4f);
    DrawRect(0, 380, 640, 100);
    SetAlpha(1.0f);

    // Text with the built-in 8 x 16 font: plain, centred with the handle, and turned.
    SetColor(255, 255, 255);
    DrawText("Corvex 2D drawing", 40, 20);
    const char* hint = "Press Escape to quit";
    SetHandle(float(TextWidth(hint)) / 2, 0);
    DrawText(hint, 320, 440);
    SetHandle(0, 0);
    SetColor(255, 220, 120);
    SetRotation(90);
    DrawText("Turned text", 600, 200);
    SetRotation(0);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartGLZeph2DModule();  // the OpenGL 2D driver becomes the current graphics driver
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
        Ref<TImage> badge = MakeBadge();
        int32_t start = CurrentMillis();
        while (!IsKeyDown(KEY_ESCAPE)) {
            DrawScene(badge, float(CurrentMillis() - start) / 1000.0f);
            Flip(-1);  // present, paced to the window's 60 Hz
        }
    });
}

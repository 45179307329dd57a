// Drawing without a display: the same drawing calls as in a window, into an offscreen buffer
// made by the EGL driver, and the finished frame written to a PNG file.
//
//     corvex_example_offscreen [picture.png]      (default: offscreen.png in the current folder)
#include <cstdio>
#include <string>

#include <corvex/corvex.h>
#include <corvex/graphics/egl_graphics.h>

using namespace corvex;

namespace {

void DrawScene() {
    SetClsColor(24, 28, 40);
    Cls();
    // A sunset of translucent bands, a row of turned squares, a polygon and some text.
    SetBlend(BLEND_ALPHA);
    for (int i = 0; i < 8; ++i) {
        SetAlpha(0.15f + 0.1f * float(i));
        SetColor(255, 120 + 15 * i, 40);
        DrawRect(0, float(120 + 20 * i), 320, 20);
    }
    SetAlpha(1.0f);
    SetColor(255, 255, 255);
    SetHandle(10, 10);
    for (int i = 0; i < 6; ++i) {
        SetRotation(float(15 * i));
        DrawRect(float(30 + 50 * i), 60, 20, 20);
    }
    SetRotation(0);
    SetHandle(0, 0);
    SetColor(40, 200, 120);
    DrawPoly({160, 180, 260, 240, 60, 240});
    SetColor(255, 255, 255);
    DrawText("drawn without a display", 8, 8);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [argc, argv] {
        // RunApplication moves to the program's folder; a relative path means the folder we were started in.
        std::string out = argc > 1 ? argv[1] : "offscreen.png";
        if (out[0] != '/') out = ToUtf8(LaunchDir()) + "/" + out;

        StartCorvex();
        StartEGLGraphicsModule();
        // Without a usable EGL (no Mesa, no surfaceless platform) the reason is printed and
        // the program ends with exit code -1.
        if (!EGLGraphicsAvailable()) throw TRuntimeException(u"offscreen: " + EGLGraphicsProblem());
        // Contexts now come from the offscreen driver; everything else is as in a window.
        SetGLZeph2DContextDriver(EGLGraphicsDriver());
        if (!OpenGraphics(320, 240, 0, 0, 0)) throw TRuntimeException(u"offscreen: cannot open a 320 x 240 buffer");
        DrawScene();
        Ref<TPixmap> picture = GrabPixmap(0, 0, 320, 240);  // the frame as drawn, before Flip
        Flip(0);
        if (!SavePngPixmap(picture->Convert(FORMAT_RGB888), FromUtf8(out))) {
            throw TRuntimeException(u"offscreen: cannot write " + FromUtf8(out));
        }
        std::printf("%s\n", out.c_str());
    });
}

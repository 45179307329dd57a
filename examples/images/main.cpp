// Images from files: a JPEG photo stretched over the window, and a PNG with an alpha channel
// drawn as it is, scaled, turning, tinted with the drawing colour and faded with SetAlpha.
// The build puts photo.jpg and picture.png beside the program (examples/pictures makes them);
// the program runs in its own folder, so plain file names find them. Escape ends it.
#include <corvex/corvex.h>

using namespace corvex;

namespace {

// Text with a one-pixel shadow, readable over the photo.
void Label(const char* text, float centre_x, float y) {
    float x = centre_x - float(TextWidth(text)) / 2;
    SetColor(0, 0, 0);
    DrawText(text, x + 1, y + 1);
    SetColor(255, 255, 255);
    DrawText(text, x, y);
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();  // also registers the PNG, JPEG, BMP and TGA loaders
        SetApplicationTitle(u"Corvex example: images");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");

        // A photo has no alpha; the default flags would make its black pixels transparent (the
        // mask colour), so ask for filtering only. Its handle is its top-left corner.
        Ref<TImage> photo = LoadImage("photo.jpg", IMAGE_FILTERED);
        // Images loaded from now on get their handle (the point they are drawn, turned and
        // scaled about) in their middle.
        SetAutoMidHandle(1);
        // A PNG with alpha keeps it, whatever the flags.
        Ref<TImage> picture = LoadImage("picture.png");
        if (!photo || !picture) throw TRuntimeException("Cannot read photo.jpg or picture.png");

        int32_t start = CurrentMillis();
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            float seconds = float(CurrentMillis() - start) / 1000;
            Cls();
            SetBlend(BLEND_ALPHA);  // use the images' alpha
            SetColor(255, 255, 255);

            // The whole photo, stretched over the window.
            DrawImageRect(photo, 0, 0, 640, 480);

            // Top row: as it is, at half size, at one and a half times, and turning.
            DrawImage(picture, 100, 150);
            SetScale(0.5f, 0.5f);
            DrawImage(picture, 230, 150);
            SetScale(1.5f, 1.5f);
            DrawImage(picture, 390, 150);
            SetRotationAndScale(seconds * 90, 1, 1);  // degrees, clockwise
            DrawImage(picture, 560, 150);
            SetRotationAndScale(0, 1, 1);  // state stays until changed: put it back

            // Bottom row at three quarters: the drawing colour tints (multiplies) the image;
            // SetAlpha fades it.
            SetScale(0.75f, 0.75f);
            const int tints[4][3] = {{255, 90, 90}, {90, 255, 90}, {90, 140, 255}, {255, 220, 90}};
            for (int i = 0; i < 4; ++i) {
                SetColor(tints[i][0], tints[i][1], tints[i][2]);
                DrawImage(picture, 80 + 120 * float(i), 360);
            }
            SetColor(255, 255, 255);
            SetAlpha(0.5f);
            DrawImage(picture, 560, 360);
            SetAlpha(1);
            SetScale(1, 1);

            Label("as loaded", 100, 226);
            Label("scale 0.5", 230, 226);
            Label("scale 1.5", 390, 250);
            Label("turning", 560, 250);
            Label("tinted with SetColor", 260, 414);
            Label("SetAlpha 0.5", 560, 414);
            Label("Images from picture.png and photo.jpg - Escape quits", 320, 12);
            Flip(-1);
        }
    });
}

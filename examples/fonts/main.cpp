// Text in a real typeface: DejaVu Sans (Debian's fonts-dejavu-core) through the outline-font
// loader, at several sizes, with kerning on and off, bold and italic, one-bit glyphs, and a line
// of Greek and Cyrillic. Glyphs are rasterised the first time they are drawn. Escape ends it.
#include <fstream>
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

// Debian's copy; on Windows a copy beside the program, the build machine's through Wine's drive
// Z:, or else Windows' own Arial.
std::string FindFace() {
#ifdef _WIN32
    for (const char* path : {"DejaVuSans.ttf", "Z:/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                             "C:/Windows/Fonts/arial.ttf"})
        if (std::ifstream(path, std::ios::binary)) return path;
#endif
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}
const std::string kFace = FindFace();

// Draws text one character at a time, each at the pen position the advances alone give: what
// the line looks like without kerning.
void DrawUnkerned(const std::string& text, float x, float y) {
    for (char c : text) {
        const std::string one(1, c);
        DrawText(one, x, y);
        x += float(TextWidth(one));
    }
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();  // registers the outline-font loader
        SetApplicationTitle(u"Corvex example: fonts");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
        SetClsColor(250, 248, 240);

        // Null when the file is missing or is not a font.
        Ref<TImageFont> sizes[] = {LoadImageFont(kFace, 12), LoadImageFont(kFace, 16), LoadImageFont(kFace, 24),
                                   LoadImageFont(kFace, 36)};
        Ref<TImageFont> title = LoadImageFont(kFace, 48);
        Ref<TImageFont> bold = LoadImageFont(kFace, 20, FONT_BOLD);
        Ref<TImageFont> italic = LoadImageFont(kFace, 20, FONT_ITALIC);
        Ref<TImageFont> mono = LoadImageFont(kFace, 20, FONT_MONOCHROME);

        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            Cls();
            SetBlend(BLEND_ALPHA);  // glyph edges are partly covered pixels
            if (!title) {
                SetImageFont(nullptr);
                SetColor(160, 40, 30);
                DrawText("DejaVu Sans was not found: install fonts-dejavu-core.", 20, 20);
                Flip(1);
                continue;
            }

            SetImageFont(title);
            SetColor(30, 60, 140);
            DrawText("Corvex Fonts", 20, 12);

            // One line per size; TextHeight is the face's own line height.
            float y = 80;
            const int pixels[] = {12, 16, 24, 36};
            SetColor(40, 40, 40);
            for (int i = 0; i < 4; ++i) {
                SetImageFont(sizes[i]);
                DrawText(std::to_string(pixels[i]) + " px: The quick brown fox jumps", 20, y);
                y += float(TextHeight());
            }

            // The same word with and without kerning: the kerned one is narrower.
            SetImageFont(nullptr);
            SetColor(90, 90, 90);
            DrawText("kerning on", 20, 232);
            DrawText("kerning off", 330, 232);
            SetImageFont(sizes[3]);
            SetColor(170, 40, 40);
            DrawText("AVATAR To", 20, 250);
            SetColor(120, 120, 120);
            DrawUnkerned("AVATAR To", 330, 250);

            // Styles the face does not have are drawn from its outlines.
            SetColor(20, 110, 60);
            SetImageFont(bold);
            DrawText("Bold", 20, 310);
            SetImageFont(italic);
            DrawText("Italic", 120, 310);
            SetImageFont(mono);
            DrawText("One-bit", 220, 310);

            // Beyond Latin: the face covers Greek and Cyrillic.
            SetImageFont(sizes[2]);
            SetColor(110, 40, 150);
            DrawText("Καλημέρα κόσμε · Привет, мир", 20, 360);

            SetImageFont(nullptr);
            SetColor(120, 120, 120);
            DrawText("Escape ends the example.", 20, 456);
            Flip(1);
        }
    });
}

// Text with the built-in 8 x 16 font: colours, sizes, alignment with TextWidth, turned text,
// a paragraph wrapped to a width, and numbers that change every frame. Escape ends it.
#include <sstream>
#include <string>
#include <vector>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

// Splits text into lines no wider than width pixels, breaking between words.
std::vector<std::string> WrapText(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::istringstream words(text);
    std::string word, line;
    while (words >> word) {
        std::string longer = line.empty() ? word : line + " " + word;
        if (!line.empty() && TextWidth(longer) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        SetApplicationTitle(u"Corvex example: text");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
        SetClsColor(28, 30, 44);

        const std::string paragraph =
            "Text is drawn glyph by glyph from small images, so everything that applies to images "
            "applies to text too: the colour tints it, SetAlpha fades it, SetScale and SetRotation "
            "turn and stretch it about the handle.";
        const std::vector<std::string> wrapped = WrapText(paragraph, 280);

        int32_t start = CurrentMillis(), last = start;
        int frames = 0;
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            int32_t now = CurrentMillis();
            Cls();
            SetBlend(BLEND_ALPHA);  // glyphs carry alpha

            // A title three times the size: scale applies to text as to images.
            SetColor(255, 220, 90);
            SetScale(3, 3);
            DrawText("Hello, Corvex!", 20, 16);
            SetScale(1, 1);

            // Every character of the font.
            SetColor(200, 200, 200);
            std::string all;
            for (char c = 32; c < 127; ++c) all += c;
            DrawText(all.substr(0, 48), 20, 76);
            DrawText(all.substr(48), 20, 92);

            // Alignment: TextWidth gives the width in pixels, TextHeight the line height.
            SetColor(70, 80, 110);
            DrawLine(320, 120, 320, 186);  // guides
            DrawLine(620, 120, 620, 186);
            SetColor(120, 220, 140);
            DrawText("left aligned at x = 20", 20, 130);
            SetColor(120, 200, 255);
            const std::string centred = "centred on x = 320";
            DrawText(centred, 320 - float(TextWidth(centred)) / 2, 130 + float(TextHeight()));
            SetColor(255, 140, 120);
            const std::string right = "right aligned at x = 620";
            DrawText(right, 620 - float(TextWidth(right)), 130 + 2 * float(TextHeight()));

            // A paragraph wrapped to 280 pixels.
            SetColor(230, 230, 230);
            for (size_t i = 0; i < wrapped.size(); ++i) DrawText(wrapped[i], 20, 210 + 16 * float(i));

            // Turned text: a quarter turn reads downwards; the handle is the point it turns about.
            SetColor(200, 150, 255);
            SetRotation(90);
            DrawText("turned 90 degrees", 600, 210);
            SetRotation(0);

            // Turning about its own centre: put the handle in the middle of the text.
            const std::string spin = "round and round";
            SetColor(255, 255, 255);
            SetHandle(float(TextWidth(spin)) / 2, float(TextHeight()) / 2);
            SetRotation(float(now - start) * 0.09f);
            DrawText(spin, 450, 300);
            SetRotation(0);
            SetHandle(0, 0);

            // Half-transparent text.
            SetColor(255, 255, 255);
            SetAlpha(0.4f);
            DrawText("SetAlpha 0.4", 20, 330);
            SetAlpha(1);

            // Numbers that change every frame.
            ++frames;
            std::string status = "frame " + std::to_string(frames) + ", " + std::to_string(now - last) + " ms";
            last = now;
            SetColor(255, 220, 90);
            DrawText(status, 20, 420);
            SetColor(160, 160, 160);
            DrawText("Press Escape to quit", 20, 450);
            Flip(-1);
        }
    });
}

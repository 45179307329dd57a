// An animation strip: one picture file holding eight 64 x 64 frames, four to a row, loaded as
// one image with eight frames. The top row shows every frame; below, the frames play in turn at
// eight a second, chosen from the clock so the speed does not depend on the frame rate.
// The build puts strip.png beside the program (examples/pictures makes it). Escape ends it.
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        SetApplicationTitle(u"Corvex example: animation");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");

        SetAutoMidHandle(1);  // draw, turn and scale frames about their middle
        // Cells of 64 x 64, numbered left to right, then top to bottom; take 8 from cell 0.
        // Null when the file cannot be read or holds fewer cells than asked for.
        const int frame_count = 8;
        Ref<TImage> strip = LoadAnimImage("strip.png", 64, 64, 0, frame_count);
        if (!strip) throw TRuntimeException("Cannot read eight 64 x 64 frames from strip.png");

        SetClsColor(30, 34, 46);
        int32_t start = CurrentMillis();
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            int32_t elapsed = CurrentMillis() - start;
            Cls();
            SetBlend(BLEND_ALPHA);
            SetColor(255, 255, 255);
            DrawText("Every frame of strip.png", 20, 20);

            for (int i = 0; i < frame_count; ++i) {
                DrawImage(strip, 50 + 75 * float(i), 100, i);  // the last argument picks the frame
                std::string number = std::to_string(i);
                DrawText(number, 50 + 75 * float(i) - float(TextWidth(number)) / 2, 140);
            }

            // The frame to show now: 125 ms each, round and round.
            int frame = (elapsed / 125) % frame_count;
            SetScale(3, 3);
            DrawImage(strip, 320, 300, frame);
            SetScale(1, 1);
            std::string caption = "Playing at 8 frames a second: frame " + std::to_string(frame);
            DrawText(caption, 320 - float(TextWidth(caption)) / 2, 410);
            DrawText("Press Escape to quit", 20, 450);
            Flip(-1);
        }
    });
}

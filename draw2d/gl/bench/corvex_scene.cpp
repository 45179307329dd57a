// The benchmark scenes drawn with Corvex's drawing layer on the OpenGL back end.
// CORVEX_BENCH_SHOT=FILE.png saves the last frame drawn (to check that a change keeps every pixel).
#include <corvex/corvex.h>

#include "draw2d/gl/bench/scene.h"

using namespace corvex;

int main(int argc, char** argv) {
    bench::Options o;
    if (!bench::Parse(argc, argv, o)) return 2;
    return RunApplication(argc, argv, [&] {
        StartCorvex();
        if (!OpenGraphics(bench::kWidth, bench::kHeight, 0, 0, 0)) std::exit(1);
        Ref<TImage> image = CreateImage(bench::kTexture, bench::kTexture, 1, IMAGE_FILTERED);
        Ref<TPixmap> pixels = LockImage(image);
        std::vector<uint8_t> rgba = bench::SpritePixels();
        for (int y = 0; y < bench::kTexture; ++y)
            for (int x = 0; x < bench::kTexture; ++x) {
                const uint8_t* p = &rgba[(size_t(y) * bench::kTexture + x) * 4];
                pixels->WritePixel(x, y, uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
            }
        UnlockImage(image);
        MidHandleImage(image);
        std::vector<bench::Sprite> sprites = bench::MakeSprites(o.count, o.size);
        std::vector<std::string> lines;
        for (int i = 0; i < o.count; ++i) lines.push_back(bench::TextLine(i));

        SetClsColor(0, 0, 0);
        SetBlend(BLEND_ALPHA);
        bench::FrameTimer timer;
        while (timer.Frames() < o.frames) {
            timer.Start();
            Cls();
            if (o.text) {
                SetColor(255, 255, 255);
                SetAlpha(1);
                for (int i = 0; i < o.count; ++i) DrawText(lines[size_t(i)], 10, bench::TextY(i));
            } else {
                for (const bench::Sprite& s : sprites) {
                    SetColor(s.r, s.g, s.b);
                    SetAlpha(float(s.a) / 255.0f);
                    SetRotationAndScale(s.degrees, s.scale, s.scale);
                    DrawImage(image, s.x, s.y);
                }
            }
            // CORVEX_BENCH_SHOT=FILE.png keeps the last frame, to compare renderers' pixels.
            const char* shot = std::getenv("CORVEX_BENCH_SHOT");
            if (shot && timer.Frames() + 1 == o.frames) SavePngPixmap(GrabPixmap(0, 0, bench::kWidth, bench::kHeight), shot);
            Flip(0);
            timer.Stop();
        }
        timer.Report();
        CloseOpenedGraphics();
    });
}

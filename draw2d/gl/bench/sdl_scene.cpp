// The sprite scene drawn with SDL 2's renderer (OpenGL driver, batching on, linear scaling).
// SDL has no font of its own, so the text scene is not offered.
#include <SDL.h>

#include "draw2d/gl/bench/scene.h"

int main(int argc, char** argv) {
    bench::Options o;
    if (!bench::Parse(argc, argv, o)) return 2;
    if (o.text) {
        std::puts("median_ms n/a");
        return 0;
    }
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("bench", 0, 0, bench::kWidth, bench::kHeight, SDL_WINDOW_OPENGL);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    if (!renderer) return 1;
    std::vector<uint8_t> rgba = bench::SpritePixels();
    SDL_Texture* texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, bench::kTexture, bench::kTexture);
    SDL_UpdateTexture(texture, nullptr, rgba.data(), bench::kTexture * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    std::vector<bench::Sprite> sprites = bench::MakeSprites(o.count, o.size);
    bench::FrameTimer timer;
    while (timer.Frames() < o.frames) {
        timer.Start();
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        for (const bench::Sprite& s : sprites) {
            float size = s.scale * float(bench::kTexture);
            SDL_FRect dst{s.x - size / 2, s.y - size / 2, size, size};
            SDL_SetTextureColorMod(texture, s.r, s.g, s.b);
            SDL_SetTextureAlphaMod(texture, s.a);
            SDL_RenderCopyExF(renderer, texture, nullptr, &dst, double(s.degrees), nullptr, SDL_FLIP_NONE);
        }
        SDL_RenderPresent(renderer);
        timer.Stop();
    }
    timer.Report();
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}

// The scenes every renderer benchmark draws, described without any renderer: the same sprites
// (positions, turns, sizes, tints) and the same lines of text for every program, a frame timer
// and the command line they share.
//
//   <program> sprites COUNT SIZE FRAMES   COUNT images of one 32 x 32 texture drawn SIZE pixels wide
//   <program> text LINES FRAMES           LINES lines of 80 characters of the built-in font
//
// Each prints "median_ms <value>": the median time of one frame (clear, draw, present).
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kTexture = 32;  // the sprite texture is kTexture x kTexture
constexpr int kLineLength = 80, kLineHeight = 16;

struct Sprite {
    float x, y;        // centre in window pixels
    float degrees;     // clockwise turn
    float scale;       // drawn size / kTexture
    uint8_t r, g, b, a;
};

// A small generator of our own, so every program sees the same numbers.
inline uint32_t Next(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

inline std::vector<Sprite> MakeSprites(int count, float size) {
    std::vector<Sprite> sprites(size_t(std::max(count, 0)));
    uint32_t state = 12345;
    for (Sprite& s : sprites) {
        s.x = float(Next(state) % kWidth);
        s.y = float(Next(state) % kHeight);
        s.degrees = float(Next(state) % 3600) / 10.0f;
        s.scale = size / float(kTexture);
        s.r = uint8_t(64 + Next(state) % 192);
        s.g = uint8_t(64 + Next(state) % 192);
        s.b = uint8_t(64 + Next(state) % 192);
        s.a = uint8_t(128 + Next(state) % 128);
    }
    return sprites;
}

// RGBA bytes, row 0 at the top: a white disc whose edge fades out, with a darker stripe so
// that the turn shows.
inline std::vector<uint8_t> SpritePixels() {
    std::vector<uint8_t> rgba(size_t(kTexture) * kTexture * 4);
    for (int y = 0; y < kTexture; ++y)
        for (int x = 0; x < kTexture; ++x) {
            float dx = float(x) - 15.5f, dy = float(y) - 15.5f;
            float r = std::sqrt(dx * dx + dy * dy);
            float alpha = std::clamp(16.0f - r, 0.0f, 1.0f);
            uint8_t shade = std::abs(dy) < 3 ? 160 : 255;
            uint8_t* p = &rgba[(size_t(y) * kTexture + x) * 4];
            p[0] = p[1] = p[2] = shade;
            p[3] = uint8_t(alpha * 255.0f);
        }
    return rgba;
}

// Line i of the text scene: 80 printable characters.
inline std::string TextLine(int line) {
    std::string s;
    for (int i = 0; i < kLineLength; ++i) s += char(33 + (line * 7 + i * 13) % 94);
    return s;
}

inline float TextY(int line) { return float(10 + line * kLineHeight); }

struct Options {
    bool text = false;
    int count = 0;  // sprites or lines
    float size = float(kTexture);
    int frames = 60;
};

inline bool Parse(int argc, char** argv, Options& o) {
    if (argc >= 5 && std::strcmp(argv[1], "sprites") == 0) {
        o.count = std::atoi(argv[2]);
        o.size = float(std::atof(argv[3]));
        o.frames = std::atoi(argv[4]);
        return o.count > 0 && o.size > 0 && o.frames > 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "text") == 0) {
        o.text = true;
        o.count = std::atoi(argv[2]);
        o.frames = std::atoi(argv[3]);
        return o.count > 0 && o.frames > 0;
    }
    std::fprintf(stderr, "usage: %s sprites COUNT SIZE FRAMES | text LINES FRAMES\n", argv[0]);
    return false;
}

// Times frames; the first few (texture uploads, warm caches) are left out of the median.
class FrameTimer {
public:
    void Start() { start_ = Clock::now(); }
    void Stop() {
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        if (++seen_ > kWarmUp) times_.push_back(ms);
    }
    int Frames() const { return kWarmUp + int(times_.size()); }
    void Report() {
        if (times_.empty()) return;
        std::sort(times_.begin(), times_.end());
        std::printf("median_ms %.3f\n", times_[times_.size() / 2]);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int kWarmUp = 5;
    Clock::time_point start_;
    int seen_ = 0;
    std::vector<double> times_;
};

}  // namespace bench

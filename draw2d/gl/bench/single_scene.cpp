// The limit for the benchmark scenes: the same vertices a renderer has to produce, computed into
// client-side arrays and drawn with one glDrawArrays per frame, in a window opened through Corvex
// but drawn with plain OpenGL calls only.
#include <GL/gl.h>

#include <corvex/corvex.h>

#include "stream/fontbits.h"
#include "draw2d/gl/bench/scene.h"

using namespace corvex;

namespace {

GLuint MakeTexture(int w, int h, const std::vector<uint8_t>& rgba, GLint filter) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return name;
}

struct Arrays {
    std::vector<float> xy, uv;
    std::vector<uint8_t> rgba;
    void Clear() {
        xy.clear();
        uv.clear();
        rgba.clear();
    }
    void Put(float x, float y, float u, float v, const uint8_t* c) {
        xy.push_back(x);
        xy.push_back(y);
        uv.push_back(u);
        uv.push_back(v);
        rgba.insert(rgba.end(), c, c + 4);
    }
};

}  // namespace

int main(int argc, char** argv) {
    bench::Options o;
    if (!bench::Parse(argc, argv, o)) return 2;
    return RunApplication(argc, argv, [&] {
        StartCorvex();
        if (!OpenGraphics(bench::kWidth, bench::kHeight, 0, 0, 0)) std::exit(1);
        FlushDrawing();
        std::printf("renderer %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        // The font as one 768 x 16 strip: glyph g in columns 8g to 8g + 7.
        std::vector<uint8_t> font(768 * 16 * 4, 0);
        for (int row = 0; row < 16; ++row)
            for (int g = 0; g < 96; ++g)
                for (int bit = 0; bit < 8; ++bit)
                    if (kBuiltinFontBits[row * 96 + g] >> bit & 1)
                        std::memset(&font[(size_t(row) * 768 + size_t(g) * 8 + size_t(bit)) * 4], 255, 4);
        GLuint texture = o.text ? MakeTexture(1024, 16, [&] {
            std::vector<uint8_t> padded(1024 * 16 * 4, 0);
            for (int row = 0; row < 16; ++row)
                std::memcpy(&padded[size_t(row) * 1024 * 4], &font[size_t(row) * 768 * 4], 768 * 4);
            return padded;
        }(), GL_NEAREST)
                                : MakeTexture(bench::kTexture, bench::kTexture, bench::SpritePixels(), GL_LINEAR);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0, 0, 0, 1);
        std::vector<bench::Sprite> sprites = bench::MakeSprites(o.count, o.size);
        std::vector<std::string> lines;
        for (int i = 0; i < o.count; ++i) lines.push_back(bench::TextLine(i));

        Arrays a;
        bench::FrameTimer timer;
        while (timer.Frames() < o.frames) {
            timer.Start();
            glClear(GL_COLOR_BUFFER_BIT);
            a.Clear();
            if (o.text) {
                const uint8_t white[4] = {255, 255, 255, 255};
                for (int i = 0; i < o.count; ++i) {
                    float x = 10, y = bench::TextY(i);
                    for (char c : lines[size_t(i)]) {
                        float u0 = float((c - 32) * 8) / 1024.0f, u1 = u0 + 8.0f / 1024.0f;
                        a.Put(x, y, u0, 0, white);
                        a.Put(x + 8, y, u1, 0, white);
                        a.Put(x + 8, y + 16, u1, 1, white);
                        a.Put(x, y + 16, u0, 1, white);
                        x += 8;
                    }
                }
            } else {
                for (const bench::Sprite& s : sprites) {
                    float radians = s.degrees * 0.017453292f;
                    float c = std::cos(radians) * s.scale, sn = std::sin(radians) * s.scale;
                    const uint8_t colour[4] = {s.r, s.g, s.b, s.a};
                    const float corners[4][4] = {{-16, -16, 0, 0}, {16, -16, 1, 0}, {16, 16, 1, 1}, {-16, 16, 0, 1}};
                    for (const auto& k : corners)
                        a.Put(k[0] * c - k[1] * sn + s.x, k[0] * sn + k[1] * c + s.y, k[2], k[3], colour);
                }
            }
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glEnableClientState(GL_COLOR_ARRAY);
            glVertexPointer(2, GL_FLOAT, 0, a.xy.data());
            glTexCoordPointer(2, GL_FLOAT, 0, a.uv.data());
            glColorPointer(4, GL_UNSIGNED_BYTE, 0, a.rgba.data());
            glDrawArrays(GL_QUADS, 0, GLsizei(a.xy.size() / 2));
            Flip(0);
            timer.Stop();
        }
        timer.Report();
        CloseOpenedGraphics();
    });
}

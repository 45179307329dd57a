// CPU cost of the drawing layer above OpenGL: state filtering, placement and vertex mapping for
// images, text and rectangles, with the GL calls sent to a sink that does nothing.
#include <benchmark/benchmark.h>

#include <vector>

#include <corvex/draw2d/draw2d.h>
#include <corvex/draw2d/freetype.h>
#include <corvex/draw2d/gl/gldriver.h>
#include "draw2d/draw2d_module.h"
#include "draw2d/gl/glframe.h"
#include "draw2d/gl/glrender.h"

namespace corvex {
namespace {

// Swallows every call; the texture probe accepts any size.
class TNullGL : public TGLFunctions {
public:
    void Enable(GLenum) override {}
    void Disable(GLenum) override {}
    void BlendFunc(GLenum, GLenum) override {}
    void AlphaFunc(GLenum, GLclampf) override {}
    void LineWidth(GLfloat) override {}
    void Scissor(GLint, GLint, GLsizei, GLsizei) override {}
    void Viewport(GLint, GLint, GLsizei, GLsizei) override {}
    void Color4ubv(const GLubyte*) override {}
    void ClearColor(GLclampf, GLclampf, GLclampf, GLclampf) override {}
    void Clear(GLbitfield) override {}
    void MatrixMode(GLenum) override {}
    void LoadIdentity() override {}
    void Ortho(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) override {}
    void Begin(GLenum) override {}
    void End() override {}
    void Vertex2f(GLfloat x, GLfloat y) override { benchmark::DoNotOptimize(x + y); }
    void TexCoord2f(GLfloat, GLfloat) override {}
    void GenTextures(GLsizei n, GLuint* t) override {
        for (GLsizei i = 0; i < n; ++i) t[i] = ++next;
    }
    void DeleteTextures(GLsizei, const GLuint*) override {}
    void BindTexture(GLenum, GLuint) override {}
    void TexParameteri(GLenum, GLenum, GLint) override {}
    void TexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*) override {}
    void TexSubImage2D(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*) override {}
    void GetTexLevelParameteriv(GLenum, GLint, GLenum, GLint* out) override { *out = 1; }
    void PixelStorei(GLenum, GLint) override {}
    void EnableClientState(GLenum) override {}
    void DisableClientState(GLenum) override {}
    void VertexPointer(GLint, GLenum, GLsizei, const void* p) override { benchmark::DoNotOptimize(p); }
    void TexCoordPointer(GLint, GLenum, GLsizei, const void*) override {}
    void ColorPointer(GLint, GLenum, GLsizei, const void*) override {}
    void DrawArrays(GLenum, GLint, GLsizei count) override { benchmark::DoNotOptimize(count); }
    GLuint next = 0;
};

// Makes frames in whatever context there is (none here) instead of the shared one.
class TNoContextDriver : public TGLZeph2DDriver {
public:
    Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int flags) override {
        return TGLImageFrame::CreateFromPixmap(pixmap, flags);
    }
};

// A drawing state on the OpenGL driver without a window: only the drawing layer and the GL
// call layer run.
class TNoWindow : public TGraphics {
public:
    Ref<TGraphicsDriver> Driver() override { return GLZeph2DDriver(); }
    void GetSettings(int32_t* w, int32_t* h, int32_t* d, int32_t* hz, int32_t* f) override {
        *w = 800;
        *h = 600;
        *d = *hz = *f = 0;
    }
    void Close() override {}
};

class TScene {
public:
    TScene() {
        StartDraw2DModule();
        SetGLFunctions(&gl);
        state = TZeph2DGraphics::Create(std::make_shared<TNoWindow>(), GLZeph2DDriver());
        state->_setup = 1;  // no buffers to clear
        Draw2DModule().current = state;
        Draw2DModule().driver = std::make_shared<TNoContextDriver>();
        state->Validate();
        Ref<TPixmap> p = TPixmap::Create(32, 32, FORMAT_RGBA8888, 4);
        p->ClearPixels(0xFFFFFFFF);
        image = LoadImage(p);
        MidHandleImage(image);
        Prime(image);
        for (auto& glyph : state->image_font->_glyphs) Prime(glyph->_image);
    }
    ~TScene() {
        for (auto& frame : primed) frame->seq = 0;  // no texture of a real context to delete
        GLFlush();
        GLZeph2DModule().exiting = true;  // nor for the frames the driver made (the font's atlas)
        Draw2DModule().Reset();
        SetGLFunctions(nullptr);
    }
    // Makes the frame here rather than in the shared context, which needs a display.
    void Prime(const Ref<TImage>& im) {
        auto frame = TGLImageFrame::CreateFromPixmap(im->pixmaps[0], im->flags);
        im->frames[0] = frame;
        im->seqs[0] = GraphicsSequence();
        primed.push_back(frame);
    }
    std::vector<Ref<TGLImageFrame>> primed;
    TNullGL gl;
    Ref<TZeph2DGraphics> state;
    Ref<TImage> image;
};

void BM_DrawImageRotated(benchmark::State& bench) {
    TScene scene;
    float angle = 0;
    for (auto _ : bench) {
        SetRotation(angle += 1.0f);
        DrawImage(scene.image, 400, 300);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_DrawImageRotated);

// One sprite of the sprite scene: its colour, alpha, turn and scale, then the image.
void BM_DrawTintedSprite(benchmark::State& bench) {
    TScene scene;
    SetBlend(BLEND_ALPHA);
    float angle = 0;
    int i = 0;
    for (auto _ : bench) {
        SetColor(i & 255, 128, 255 - (i & 255));
        SetAlpha(0.75f);
        SetRotationAndScale(angle += 1.0f, 0.5f, 0.5f);
        DrawImage(scene.image, float(i++ & 511), 300);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_DrawTintedSprite);

void BM_DrawText32Chars(benchmark::State& bench) {
    TScene scene;
    const TString text = u"FPS: 60 Min: 58 Max: 61 Pts: 400";
    for (auto _ : bench) DrawText(text, 10, 10);
    bench.SetItemsProcessed(bench.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_DrawText32Chars);

// A page of text: 25 lines of 80 characters, the same in the built-in font and in a 16 px
// outline face (DejaVu Sans from fonts-dejavu-core), every glyph already made.
const char* const kOutlineFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<TString> PageLines() {
    std::vector<TString> lines;
    for (int row = 0; row < 25; ++row) {
        TString line;
        for (int col = 0; col < 80; ++col) line += char16_t(33 + (row * 7 + col * 13) % 94);
        lines.push_back(line);
    }
    return lines;
}

void DrawPage(const std::vector<TString>& lines) {
    for (size_t i = 0; i < lines.size(); ++i) DrawText(lines[i], 8, 8 + 18 * float(i));
}

void BM_TextPageBuiltinFont(benchmark::State& bench) {
    TScene scene;
    const std::vector<TString> lines = PageLines();
    DrawPage(lines);
    for (auto _ : bench) DrawPage(lines);
    bench.SetItemsProcessed(bench.iterations() * 2000);
}
BENCHMARK(BM_TextPageBuiltinFont);

void BM_TextPageOutline16(benchmark::State& bench) {
    TScene scene;
    GLZeph2DModule().exiting = true;  // atlas frames replaced as it grows have no real texture to delete
    AddFontLoader(std::make_shared<TFreeTypeFontLoader>());  // the scene's end empties the chain
    Ref<TImageFont> font = LoadImageFont(kOutlineFace, 16, 0);
    if (!font) {
        bench.SkipWithError("DejaVu Sans not installed");
        return;
    }
    SetImageFont(font);
    const std::vector<TString> lines = PageLines();
    DrawPage(lines);  // rasterise once
    for (auto _ : bench) DrawPage(lines);
    bench.SetItemsProcessed(bench.iterations() * 2000);
}
BENCHMARK(BM_TextPageOutline16);

// The first draw of 1000 distinct glyphs of a freshly loaded face: rasterising, packing into the
// atlas and sending it, as a program pays once per glyph.
void BM_FirstDraw1000Glyphs(benchmark::State& bench) {
    TScene scene;
    GLZeph2DModule().exiting = true;  // atlas frames replaced as it grows have no real texture to delete
    AddFontLoader(std::make_shared<TFreeTypeFontLoader>());  // the scene's end empties the chain
    Ref<TImageFont> probe = LoadImageFont(kOutlineFace, 16, 0);
    if (!probe) {
        bench.SkipWithError("DejaVu Sans not installed");
        return;
    }
    TString text;
    for (int code = 33; text.size() < 1000 && code < 0xFFFF; ++code)
        if (probe->CharToGlyph(code) >= 0 && (code < 0xD800 || code > 0xDFFF)) text += char16_t(code);
    std::vector<Ref<TImageFont>> kept;  // their frames go with the scene
    for (auto _ : bench) {
        bench.PauseTiming();
        Ref<TImageFont> font = LoadImageFont(kOutlineFace, 16, 0);
        SetImageFont(font);
        kept.push_back(font);
        bench.ResumeTiming();
        DrawText(text, 0, 300);
    }
    SetImageFont(nullptr);
    bench.SetItemsProcessed(bench.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_FirstDraw1000Glyphs)->Unit(benchmark::kMillisecond);

void BM_DrawRectAlpha(benchmark::State& bench) {
    TScene scene;
    SetBlend(BLEND_ALPHA);
    for (auto _ : bench) {
        SetBlend(BLEND_ALPHA);  // filtered by the cache
        DrawRect(0, 450, 800, 150);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_DrawRectAlpha);

}  // namespace
}  // namespace corvex

BENCHMARK_MAIN();

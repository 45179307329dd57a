// Texture frames through the recording call layer: sizes from the proxy probe, edge
// replication, filters, mipmap chains and the quad a frame draws.
#include <gtest/gtest.h>

#include <map>

#include "draw2d/gl/glframe.h"
#include "draw2d/gl/glrecorder.h"
#include "draw2d/gl/glrender.h"
#include "draw2d/gl/glzeph2d_module.h"
#include <corvex/runtime/exception.h>

namespace corvex {
namespace {

class GLFrameTest : public ::testing::Test {
protected:
    // These tests pin down the reference calls, drawn one by one; runs are tested on their own.
    GLFrameTest() { GLSetBatching(false); }
    // Frames made here never reached a real context: let them go without deleting textures.
    Ref<TGLImageFrame> Make(const Ref<TPixmap>& pixmap, int flags) {
        Ref<TGLImageFrame> frame = TGLImageFrame::CreateFromPixmap(pixmap, flags);
        frames.push_back(frame);
        return frame;
    }
    ~GLFrameTest() override {
        for (auto& f : frames)
            if (f) f->seq = 0;
    }
    TGLRecording gl;  // installed for each test, fresh state
    std::vector<Ref<TGLImageFrame>> frames;
};

uint32_t Pixel(int x, int y) { return 0xFF000000u | uint32_t(x) << 8 | uint32_t(y); }

// A picture whose every pixel tells its own position.
Ref<TPixmap> Numbered(int w, int h, int format = FORMAT_RGBA8888) {
    Ref<TPixmap> p = TPixmap::Create(w, h, format, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p->WritePixel(x, y, Pixel(x, y));
    return p;
}

uint32_t Texel(const TGLRecorder::Upload& up, int x, int y) {
    const unsigned char* p = &up.rgba[(size_t(y) * up.width + x) * 4];
    return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

TEST_F(GLFrameTest, PaddedTextureRepeatsTheLastColumnAndRow) {
    Ref<TGLImageFrame> f = Make(Numbered(100, 60), 0);
    EXPECT_FLOAT_EQ(f->u1, 0.78125f);
    EXPECT_FLOAT_EQ(f->v1, 0.9375f);
    EXPECT_EQ(f->u0, 0);
    EXPECT_EQ(f->v0, 0);
    ASSERT_EQ(gl.uploads.size(), 1u);
    const auto& up = gl.uploads[0];
    EXPECT_EQ(up.width, 128);
    EXPECT_EQ(up.height, 64);
    EXPECT_EQ(up.row_length, 128);
    EXPECT_EQ(Texel(up, 37, 21), Pixel(37, 21));
    for (int y : {0, 30, 59}) EXPECT_EQ(Texel(up, 100, y), Pixel(99, y)) << y;
    for (int x : {0, 50, 99}) EXPECT_EQ(Texel(up, x, 60), Pixel(x, 59)) << x;
    EXPECT_EQ(Texel(up, 100, 60), Pixel(99, 59));
    // The probe asked for 128 x 64 and the level was allocated at that size.
    auto images = gl.Named("TexImage2D");
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].args[0], GL_PROXY_TEXTURE_2D);
    EXPECT_EQ(images[1].args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGBA8, 128, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE}));
    EXPECT_EQ(gl.Named("PixelStorei").back().args[1], 0) << "row length restored";
}

TEST_F(GLFrameTest, ExactSizesAndOtherFormatsAreUploadedAsRGBA) {
    Ref<TGLImageFrame> f = Make(Numbered(64, 64, FORMAT_RGB888), 0);
    EXPECT_EQ(f->u1, 1);
    EXPECT_EQ(f->v1, 1);
    ASSERT_EQ(gl.uploads.size(), 1u);
    EXPECT_EQ(gl.uploads[0].width, 64);
    EXPECT_EQ(Texel(gl.uploads[0], 63, 5), Pixel(63, 5));
}

TEST_F(GLFrameTest, TooLargeSourcesShrinkBothSidesTogether) {
    gl.max_texture_size = 1024;
    Ref<TGLImageFrame> f = Make(Numbered(2000, 100), 0);
    auto probes = gl.Named("GetTexLevelParameteriv");
    EXPECT_EQ(probes.size(), 2u) << "2048 x 128 refused, 1024 x 64 accepted";
    EXPECT_EQ(gl.uploads[0].width, 1024);
    EXPECT_EQ(gl.uploads[0].height, 64);
    EXPECT_EQ(f->u1, 1);
    EXPECT_EQ(f->v1, 1);
}

TEST_F(GLFrameTest, NoAcceptedSizeRaises) {
    gl.max_texture_size = 0;
    try {
        Make(Numbered(4, 4), 0);
        FAIL() << "no exception";
    } catch (const TRuntimeException& e) {
        EXPECT_STREQ(e.what(), "Unable to calculate tex size");
    }
    EXPECT_EQ(gl.Count("GenTextures"), 0u);
}

TEST_F(GLFrameTest, FiltersFollowTheImageFlags) {
    struct Case {
        int flags;
        GLint mag, min;
        size_t levels;
    };
    for (Case c : {Case{0, GL_NEAREST, GL_NEAREST, 1}, Case{IMAGE_MASKED | IMAGE_DYNAMIC, GL_NEAREST, GL_NEAREST, 1},
                   Case{IMAGE_FILTERED, GL_LINEAR, GL_LINEAR, 1},
                   Case{IMAGE_MIPMAPPED, GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, 8},
                   Case{IMAGE_FILTERED | IMAGE_MIPMAPPED, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, 8}}) {
        gl.Clear();
        gl.uploads.clear();
        Make(Numbered(100, 60), c.flags);
        std::map<double, double> params;
        for (const TGLCall& p : gl.Named("TexParameteri")) params[p.args[1]] = p.args[2];
        EXPECT_EQ(params[GL_TEXTURE_MAG_FILTER], c.mag) << c.flags;
        EXPECT_EQ(params[GL_TEXTURE_MIN_FILTER], c.min) << c.flags;
        EXPECT_EQ(params[GL_TEXTURE_WRAP_S], GL_CLAMP_TO_EDGE);
        EXPECT_EQ(params[GL_TEXTURE_WRAP_T], GL_CLAMP_TO_EDGE);
        EXPECT_EQ(gl.Count("TexImage2D"), c.levels + 1) << "levels allocated, plus the probe";
        EXPECT_EQ(gl.uploads.size(), c.levels);
    }
}

TEST_F(GLFrameTest, MipmapLevelsHalveDownToOnePixel) {
    Make(Numbered(100, 60), IMAGE_MIPMAPPED);
    std::vector<std::pair<int, int>> sizes;
    for (const auto& up : gl.uploads) sizes.emplace_back(up.width, up.height);
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{
                         {128, 64}, {64, 32}, {32, 16}, {16, 8}, {8, 4}, {4, 2}, {2, 1}, {1, 1}}));
    for (size_t i = 0; i < gl.uploads.size(); ++i) EXPECT_EQ(gl.uploads[i].level, int(i));
    // A 2 x 1 level averages its two texels into the last one.
    const auto& last = gl.uploads.back();
    const auto& before = gl.uploads[gl.uploads.size() - 2];
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(last.rgba[k], (before.rgba[k] + before.rgba[4 + k]) / 2.0, 1.0);
}

// A context driver that only notes when the shared context is swapped in or out.
class TSwapNotingDriver : public TGLContextDriver {
public:
    explicit TSwapNotingDriver(TGLRecorder& gl) : _gl(gl) {}
    TGraphicsModes GraphicsModes() override { return {}; }
    Ref<TGraphics> AttachGraphics(uintptr_t, int32_t) override { return nullptr; }
    Ref<TGraphics> CreateGraphics(int32_t, int32_t, int32_t, int32_t, int32_t) override { return nullptr; }
    void SetGraphics(const Ref<TGraphics>&) override {}
    void Flip(int32_t) override {}
    void SwapSharedContext() override { _gl.calls.push_back({"SwapSharedContext", {}}); }

private:
    TGLRecorder& _gl;
};

TEST_F(GLFrameTest, ReleaseDeletesTheTextureOnceInTheSharedContext) {
    GLZeph2DModule().context_driver = std::make_shared<TSwapNotingDriver>(gl);
    Ref<TGLImageFrame> f = TGLImageFrame::CreateFromPixmap(Numbered(4, 4), 0);
    ASSERT_TRUE(f);
    GLuint name = f->name;
    gl.Clear();
    f->Release();
    std::vector<std::string> order;
    for (const TGLCall& c : gl.calls) order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"SwapSharedContext", "DeleteTextures", "SwapSharedContext"}));
    ASSERT_EQ(gl.Count("DeleteTextures"), 1u);
    EXPECT_EQ(gl.Named("DeleteTextures")[0].args[1], name);
    f->Release();
    EXPECT_EQ(gl.Count("DeleteTextures"), 1u) << "a second Release does nothing";
}

TEST_F(GLFrameTest, EmptyPixmapsMakeNoFrame) {
    EXPECT_EQ(TGLImageFrame::CreateFromPixmap(TPixmap::Create(0, 5, FORMAT_RGBA8888, 4), 0), nullptr);
    EXPECT_EQ(gl.Count("GenTextures"), 0u);
}

TEST_F(GLFrameTest, DrawSendsOneTexturedQuadAndBindsOnlyWhenNeeded) {
    Ref<TGLImageFrame> f = Make(Numbered(100, 60), 0);
    gl.Clear();
    GLSetTransform(0, -1, 1, 0);
    f->Draw(-50, -30, 50, 30, 200, 100);
    EXPECT_EQ(gl.Count("BindTexture"), 1u);
    EXPECT_EQ(gl.Count("Enable"), 1u);
    std::vector<std::pair<float, float>> tex;
    for (const TGLCall& c : gl.Named("TexCoord2f")) tex.emplace_back(float(c.args[0]), float(c.args[1]));
    EXPECT_EQ(tex, (std::vector<std::pair<float, float>>{{0, 0}, {0.78125f, 0}, {0.78125f, 0.9375f}, {0, 0.9375f}}));
    EXPECT_EQ(gl.Vertices(), (std::vector<std::pair<float, float>>{{230, 50}, {230, 150}, {170, 150}, {170, 50}}));
    gl.Clear();
    f->Draw(0, 0, 1, 1, 0, 0);
    EXPECT_EQ(gl.Count("BindTexture"), 0u);
    EXPECT_EQ(gl.Count("Enable"), 0u);
}

}  // namespace
}  // namespace corvex

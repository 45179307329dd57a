// The back end's GL state mapping and primitives, checked through the recording call layer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <corvex/draw2d/blend.h>
#include "draw2d/gl/glrecorder.h"
#include "draw2d/gl/glrender.h"
#include "draw2d/gl/glzeph2d_module.h"

namespace corvex {
namespace {

class GLRenderTest : public ::testing::Test {
protected:
    // These tests pin down the reference calls, drawn one by one; runs are tested on their own.
    GLRenderTest() { GLSetBatching(false); }
    TGLRecording gl;  // installed for each test, fresh state
};

using Points = std::vector<std::pair<float, float>>;

TEST_F(GLRenderTest, BlendModesMapToGLStateAndRepeatsAreFiltered) {
    GLSetBlend(BLEND_ALPHA);
    ASSERT_EQ(gl.calls.size(), 3u);
    EXPECT_EQ(gl.calls[0].name, "Enable");
    EXPECT_EQ(gl.calls[0].args[0], GL_BLEND);
    EXPECT_EQ(gl.calls[1].args, (std::vector<double>{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
    EXPECT_EQ(gl.calls[2].name, "Disable");
    EXPECT_EQ(gl.calls[2].args[0], GL_ALPHA_TEST);
    GLSetBlend(BLEND_ALPHA);
    EXPECT_EQ(gl.calls.size(), 3u) << "same mode again makes no GL call";

    gl.Clear();
    GLSetBlend(BLEND_MASK);
    ASSERT_EQ(gl.calls.size(), 3u);
    EXPECT_EQ(gl.calls[0].name, "Disable");
    EXPECT_EQ(gl.calls[0].args[0], GL_BLEND);
    EXPECT_EQ(gl.calls[1].name, "Enable");
    EXPECT_EQ(gl.calls[1].args[0], GL_ALPHA_TEST);
    EXPECT_EQ(gl.calls[2].args, (std::vector<double>{GL_GEQUAL, 0.5}));

    gl.Clear();
    GLSetBlend(BLEND_ADDITIVE);
    EXPECT_EQ(gl.Named("BlendFunc")[0].args, (std::vector<double>{GL_SRC_ALPHA, GL_ONE}));
    gl.Clear();
    GLSetBlend(BLEND_MULTIPLY);
    EXPECT_EQ(gl.Named("BlendFunc")[0].args, (std::vector<double>{GL_DST_COLOR, GL_ZERO}));

    for (int mode : {BLEND_SOLID, 99}) {
        gl.Clear();
        GLSetBlend(mode);
        ASSERT_EQ(gl.calls.size(), 2u);
        EXPECT_EQ(gl.calls[0].name, "Disable");
        EXPECT_EQ(gl.calls[0].args[0], GL_BLEND);
        EXPECT_EQ(gl.calls[1].args[0], GL_ALPHA_TEST);
    }
    EXPECT_EQ(GLZeph2DModule().blend_mode, 99);

    // A context reset forgets the cache, so the same mode is applied again.
    GLResetContextState(640, 480);
    gl.Clear();
    GLSetBlend(99);
    EXPECT_EQ(gl.calls.size(), 2u);
}

TEST_F(GLRenderTest, ColourAndAlphaAreClampedBeforeTheyReachGL) {
    GLSetColor(300, -4, 128);
    EXPECT_EQ(gl.calls.back().args, (std::vector<double>{255, 0, 128, 0}));
    struct Case {
        float alpha;
        double sent;
    };
    for (Case c : {Case{1.5f, 255}, Case{-0.2f, 0}, Case{0.5f, 127}, Case{1.0f, 255},
                   Case{std::numeric_limits<float>::quiet_NaN(), 0}}) {
        GLSetAlpha(c.alpha);
        EXPECT_EQ(gl.calls.back().name, "Color4ubv");
        EXPECT_EQ(gl.calls.back().args[3], c.sent) << c.alpha;
        EXPECT_EQ(gl.calls.back().args[0], 255) << "colour bytes kept";
    }
    GLSetClsColor(-1, 255, 510);
    EXPECT_EQ(gl.calls.back().args, (std::vector<double>{0, 1, 1, 1}));
    GLSetClsColor(51, 0, 0);
    EXPECT_FLOAT_EQ(float(gl.calls.back().args[0]), 0.2f);
}

TEST_F(GLRenderTest, ViewportScissorsUnlessItCoversTheWindow) {
    GLSetViewport(0, 0, 800, 600, 800, 600);
    ASSERT_EQ(gl.calls.size(), 1u);
    EXPECT_EQ(gl.calls[0].name, "Disable");
    EXPECT_EQ(gl.calls[0].args[0], GL_SCISSOR_TEST);
    gl.Clear();
    GLSetViewport(10, 20, 100, 50, 800, 600);
    ASSERT_EQ(gl.calls.size(), 2u);
    EXPECT_EQ(gl.calls[0].name, "Enable");
    EXPECT_EQ(gl.calls[0].args[0], GL_SCISSOR_TEST);
    EXPECT_EQ(gl.calls[1].args, (std::vector<double>{10, 530, 100, 50}));
}

TEST_F(GLRenderTest, ContextResetSetsAPixelProjection) {
    GLEnableTex(7);
    GLSetBlend(BLEND_ALPHA);
    gl.Clear();
    GLResetContextState(800, 600);
    EXPECT_EQ(GLZeph2DModule().blend_mode, 0);
    EXPECT_EQ(GLZeph2DModule().bound_texture, 0u);
    EXPECT_EQ(GLZeph2DModule().texturing, 0);
    EXPECT_EQ(gl.calls[0].name, "Disable");
    EXPECT_EQ(gl.Named("Ortho")[0].args, (std::vector<double>{0, 800, 600, 0, -1, 1}));
    EXPECT_EQ(gl.Named("Viewport")[0].args, (std::vector<double>{0, 0, 800, 600}));
    EXPECT_EQ(gl.Named("MatrixMode").back().args[0], GL_MODELVIEW);
}

TEST_F(GLRenderTest, TextureSwitchingCostsNothingWhenUnchanged) {
    GLEnableTex(5);
    EXPECT_EQ(gl.Count("BindTexture"), 1u);
    EXPECT_EQ(gl.Count("Enable"), 1u);
    GLEnableTex(5);
    EXPECT_EQ(gl.calls.size(), 2u);
    GLEnableTex(6);
    EXPECT_EQ(gl.Count("BindTexture"), 2u);
    EXPECT_EQ(gl.Count("Enable"), 1u);
    GLDisableTex();
    GLDisableTex();
    EXPECT_EQ(gl.Count("Disable"), 1u);
    GLPlot(0, 0);  // untextured primitive with texturing already off: no Disable
    EXPECT_EQ(gl.Count("Disable"), 1u);
}

TEST_F(GLRenderTest, PrimitivesSendTheirVerticesInOrder) {
    GLSetTransform(0, -1, 1, 0);  // rotation by 90 degrees: must not affect Plot
    GLPlot(10, 10);
    EXPECT_EQ(gl.Named("Begin")[0].args[0], GL_POINTS);
    EXPECT_EQ(gl.Vertices(), (Points{{10.5f, 10.5f}}));
    EXPECT_EQ(gl.calls.back().name, "End");

    GLSetTransform(1, 0, 0, 1);
    gl.Clear();
    GLDrawRect(0, 0, 10, 10, 0, 0);
    EXPECT_EQ(gl.Named("Begin")[0].args[0], GL_QUADS);
    EXPECT_EQ(gl.Vertices(), (Points{{0, 0}, {10, 0}, {10, 10}, {0, 10}}));

    gl.Clear();
    GLDrawLine(0, 0, 10, 5, 100, 200);
    EXPECT_EQ(gl.Named("Begin")[0].args[0], GL_LINES);
    EXPECT_EQ(gl.Vertices(), (Points{{100.5f, 200.5f}, {110.5f, 205.5f}}));

    // Placement through the matrix: a quarter turn maps local x onto window y.
    GLSetTransform(0, -1, 1, 0);
    gl.Clear();
    GLDrawRect(-10, -5, 10, 5, 100, 100);
    EXPECT_EQ(gl.Vertices(), (Points{{105, 90}, {105, 110}, {95, 110}, {95, 90}}));
}

TEST_F(GLRenderTest, OvalSegmentsAreAMultipleOfFourAndAtLeastTwelve) {
    EXPECT_EQ(OvalSegments(5, 3), 12);
    EXPECT_EQ(OvalSegments(20, 15), 32);
    EXPECT_EQ(OvalSegments(-20, 15), 32);
    EXPECT_EQ(OvalSegments(0, 0), 12);
    EXPECT_EQ(OvalSegments(7.9f, 7.9f), 12);
    EXPECT_EQ(OvalSegments(50, 50), 100);

    GLDrawOval(0, 0, 10, 6, 20, 30);
    EXPECT_EQ(gl.Named("Begin")[0].args[0], GL_POLYGON);
    Points v = gl.Vertices();
    ASSERT_EQ(v.size(), 12u);
    EXPECT_FLOAT_EQ(v[0].first, 30);  // angle 0: (cx + rx, cy)
    EXPECT_FLOAT_EQ(v[0].second, 33);
    EXPECT_NEAR(v[3].first, 25, 1e-5);  // 90 degrees: the top of the oval (y up is minus)
    EXPECT_NEAR(v[3].second, 30, 1e-5);
    EXPECT_NEAR(v[6].first, 20, 1e-5);
}

// Radii past the range of int (or not numbers at all) still give a bounded polygon, batched or not.
TEST_F(GLRenderTest, HugeOvalsAskForABoundedNumberOfSegments) {
    for (float r : {3e9f, 1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
        int n = OvalSegments(r, r);
        EXPECT_GE(n, 12) << r;
        EXPECT_LE(n, kMaxOvalSegments) << r;
        EXPECT_EQ(n % 4, 0) << r;
    }
    EXPECT_EQ(OvalSegments(1e6f, 0), kMaxOvalSegments);
    for (bool batching : {false, true}) {
        GLSetBatching(batching);
        gl.Clear();
        gl.arrays.clear();
        EXPECT_NO_THROW(GLDrawOval(-4e9f, -4e9f, 4e9f, 4e9f, 0, 0)) << batching;
        size_t sent = gl.Vertices().size();
        EXPECT_EQ(sent, size_t(kMaxOvalSegments)) << batching;
    }
}

TEST_F(GLRenderTest, PolygonsMapHandleAndOriginAndRejectShortOrOddLists) {
    const float tri[] = {0, 0, 10, 0, 0, 10};
    GLDrawPoly(tri, 4, 0, 0, 0, 0);
    GLDrawPoly(tri, 5, 0, 0, 0, 0);
    EXPECT_TRUE(gl.calls.empty());
    GLSetTransform(2, 0, 0, 2);
    GLDrawPoly(tri, 6, -1, -2, 100, 50);
    EXPECT_EQ(gl.Vertices(), (Points{{98, 46}, {118, 46}, {98, 66}}));
}

TEST(Pow2SizeTest, RoundsUpToAPowerOfTwo) {
    EXPECT_EQ(Pow2Size(-3), 1);
    EXPECT_EQ(Pow2Size(0), 1);
    EXPECT_EQ(Pow2Size(1), 1);
    EXPECT_EQ(Pow2Size(3), 4);
    EXPECT_EQ(Pow2Size(64), 64);
    EXPECT_EQ(Pow2Size(100), 128);
    EXPECT_EQ(Pow2Size(2000), 2048);
}

}  // namespace
}  // namespace corvex

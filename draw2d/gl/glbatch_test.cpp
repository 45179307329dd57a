// Runs of vertices as they reach the call layer: what ends a run and what does not, colours per
// vertex, full runs, polygons, and the state caches in front of it all.
#include <gtest/gtest.h>

#include <corvex/draw2d/blend.h>
#include "draw2d/gl/glrecorder.h"
#include "draw2d/gl/glrender.h"

namespace corvex {
namespace {

class GLBatchTest : public ::testing::Test {
protected:
    TGLRecording gl;  // fresh state, batching on
};

TEST_F(GLBatchTest, ARunIsOneDrawWithAColourPerVertexAndStateThatDoesNotChangePixelsKeepsIt) {
    GLSetTransform(1, 0, 0, 1);
    GLSetColor(255, 0, 0);
    GLSetAlpha(1);
    GLDrawRect(0, 0, 10, 10, 0, 0);
    GLSetColor(0, 255, 0);
    GLSetAlpha(0.5f);
    GLDrawRect(0, 0, 10, 10, 20, 0);
    GLSetBlend(0);         // the cached mode: nothing changes
    GLSetLineWidth(1);     // the width in force
    GLSetTransform(2, 0, 0, 2);  // vertices are mapped as they are added
    GLDisableTex();        // already off
    EXPECT_EQ(gl.Count("DrawArrays"), 0u);
    EXPECT_EQ(gl.Count("Color4ubv"), 0u) << "in runs the colour travels in the vertices";
    GLFlush();
    ASSERT_EQ(gl.arrays.size(), 1u);
    const TGLRecorder::ArrayDraw& d = gl.arrays[0];
    EXPECT_EQ(d.mode, GLenum(GL_QUADS));
    EXPECT_EQ(d.xy, (std::vector<float>{0, 0, 10, 0, 10, 10, 0, 10, 20, 0, 30, 0, 30, 10, 20, 10}));
    EXPECT_TRUE(d.uv.empty()) << "untextured runs send no texture coordinates";
    const std::vector<unsigned char> want{255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255,
                                          0, 255, 0, 127, 0, 255, 0, 127, 0, 255, 0, 127, 0, 255, 0, 127};
    EXPECT_EQ(d.rgba, want);
    // The arrays are switched off again and the current colour is the one last set.
    EXPECT_EQ(gl.Count("EnableClientState"), gl.Count("DisableClientState"));
    EXPECT_EQ(gl.calls.back().name, "Color4ubv");
    EXPECT_EQ(gl.calls.back().args, (std::vector<double>{0, 255, 0, 127}));

    gl.Clear();
    GLFlush();
    EXPECT_TRUE(gl.calls.empty()) << "nothing pending: no call";
}

TEST_F(GLBatchTest, ChangesThatAffectPixelsDrawTheRunBeforeThem) {
    struct Case {
        const char* what;
        void (*change)();
        const char* first_call;  // the change's own first GL call, which must follow the draw
    };
    const Case cases[] = {
        {"blend", [] { GLSetBlend(BLEND_ALPHA); }, "Enable"},
        {"texture", [] { GLEnableTex(7); }, "BindTexture"},
        {"viewport", [] { GLSetViewport(1, 2, 3, 4, 100, 100); }, "Enable"},
        {"line width", [] { GLSetLineWidth(3); }, "LineWidth"},
        {"clear", [] { GLCls(); }, "Clear"},
    };
    for (const Case& c : cases) {
        GLZeph2DModule().Reset();
        GLSetTransform(1, 0, 0, 1);
        GLSetBlend(BLEND_SOLID);
        GLDisableTex();
        GLDrawRect(0, 0, 1, 1, 0, 0);
        gl.Clear();
        c.change();
        ASSERT_GE(gl.calls.size(), 2u) << c.what;
        size_t draw = 0, own = 0;
        for (size_t i = 0; i < gl.calls.size(); ++i) {
            if (gl.calls[i].name == "DrawArrays" && !draw) draw = i + 1;
            if (gl.calls[i].name == c.first_call && !own) own = i + 1;
        }
        EXPECT_NE(draw, 0u) << c.what << " drew the run";
        EXPECT_LT(draw, own) << c.what << ": the run is drawn before the change reaches GL";
    }

    // Another kind of primitive ends the run; a polygon is drawn at once on its own.
    GLZeph2DModule().Reset();
    GLSetTransform(1, 0, 0, 1);
    gl.Clear();
    gl.arrays.clear();
    GLDrawLine(0, 0, 5, 5, 0, 0);
    GLDrawLine(1, 0, 5, 5, 0, 0);
    GLPlot(3, 3);
    GLDrawOval(0, 0, 10, 6, 0, 0);
    const float tri[] = {0, 0, 4, 0, 0, 4};
    GLDrawPoly(tri, 6, 0, 0, 0, 0);
    GLDrawRect(0, 0, 1, 1, 0, 0);
    ASSERT_EQ(gl.arrays.size(), 4u);
    EXPECT_EQ(gl.arrays[0].mode, GLenum(GL_LINES));
    EXPECT_EQ(gl.arrays[0].xy.size(), 8u);
    EXPECT_EQ(gl.arrays[1].mode, GLenum(GL_POINTS));
    EXPECT_EQ(gl.arrays[2].mode, GLenum(GL_POLYGON));
    EXPECT_EQ(gl.arrays[2].xy.size(), 24u);
    EXPECT_EQ(gl.arrays[3].mode, GLenum(GL_POLYGON));
    EXPECT_EQ(gl.arrays[3].xy, (std::vector<float>{0, 0, 4, 0, 0, 4}));
    EXPECT_EQ(GLZeph2DModule().run.count, 4u) << "the rectangle waits";
}

TEST_F(GLBatchTest, AFullRunIsDrawnWithoutSplittingAQuadAndPolygonsMayBeLarger) {
    size_t quads = TGLRun::kRunCapacity / 4 + 3;
    for (size_t i = 0; i < quads; ++i) GLDrawRect(0, 0, 1, 1, float(i), 0);
    ASSERT_EQ(gl.arrays.size(), 1u);
    EXPECT_EQ(gl.arrays[0].xy.size(), TGLRun::kRunCapacity * 2);
    GLFlush();
    ASSERT_EQ(gl.arrays.size(), 2u);
    EXPECT_EQ(gl.arrays[1].xy.size(), 3u * 4 * 2);
    EXPECT_EQ(gl.arrays[1].xy[0], float(quads - 3)) << "the run goes on where it stopped";

    GLDrawOval(0, 0, 6000, 6000, 0, 0);  // 6000 segments: more than a run of quads holds
    ASSERT_EQ(gl.arrays.size(), 3u);
    EXPECT_EQ(gl.arrays[2].xy.size(), 6000u * 2);
}

TEST_F(GLBatchTest, TexturedRunsCarryTheFrameCoordinatesAndTheImmediateSwitchDrawsAtOnce) {
    GLEnableTex(5);
    GLBeginPrimitive(GL_QUADS, 4);
    GLTexVertex(0, 0, 1, 2);
    GLTexVertex(0.5f, 0, 3, 2);
    GLTexVertex(0.5f, 0.25f, 3, 4);
    GLTexVertex(0, 0.25f, 1, 4);
    GLEndPrimitive();
    GLFlush();
    ASSERT_EQ(gl.arrays.size(), 1u);
    EXPECT_EQ(gl.arrays[0].uv, (std::vector<float>{0, 0, 0.5f, 0, 0.5f, 0.25f, 0, 0.25f}));
    EXPECT_EQ(gl.Count("TexCoordPointer"), 1u);

    GLDrawRect(0, 0, 1, 1, 0, 0);  // pending when the switch is thrown: drawn first
    gl.Clear();
    GLSetBatching(false);
    EXPECT_EQ(gl.Count("DrawArrays"), 1u);
    GLDrawRect(0, 0, 1, 1, 0, 0);
    EXPECT_EQ(gl.Count("Begin"), 1u);
    EXPECT_EQ(gl.Count("Vertex2f"), 4u);
    EXPECT_EQ(gl.Count("DrawArrays"), 1u);
}

}  // namespace
}  // namespace corvex

// The OpenGL half of the 2D back end that needs no graphics context object: the state caches,
// blend modes, colour, viewport and scissor, and the untextured primitives. TGLZeph2DDriver
// forwards to these; tests drive them through a recording TGLFunctions.
#pragma once

#include <cstddef>

#include "draw2d/gl/glfuncs.h"
#include "draw2d/gl/glzeph2d_module.h"

namespace corvex {

// ---- Runs
// Draws the pending run (one DrawArrays) and leaves the current colour as SetColor/SetAlpha set
// it (in runs they only change the colour bytes the vertices carry). Every change of GL state that affects pixels, and everything that reads, writes or swaps
// the frame buffer or changes the current context, calls this first.
void GLFlush();
void GLSetBatching(bool on);  // off: the immediate calls, drawn one by one (reference for tests)

// ---- Context set-up
void GLResetContextState(int width, int height);  // caches to 0, texturing off, pixel projection

// ---- State
void GLSetBlend(int mode);                        // cached; unknown modes behave as BLEND_SOLID
void GLSetAlpha(float alpha);                     // clamped to 0..1 (NaN gives 0)
void GLSetColor(int red, int green, int blue);    // each clamped to 0..255
void GLSetClsColor(int red, int green, int blue); // each clamped to 0..255
void GLSetViewport(int x, int y, int width, int height, int window_width, int window_height);
void GLSetTransform(float ix, float iy, float jx, float jy);
void GLSetLineWidth(float width);
void GLCls();

// ---- Texture switching (cached)
void GLEnableTexChange(GLuint name);  // the part of GLEnableTex that changes something
inline void GLEnableTex(GLuint name) {
    const TGLZeph2DModule& s = GLZeph2DModule();
    if (name != s.bound_texture || !s.texturing) GLEnableTexChange(name);
}
void GLDisableTex();

// ---- Primitives (window pixels; local points mapped by the stored matrix and placed at tx, ty)
void GLPlot(float x, float y);
void GLDrawLine(float x0, float y0, float x1, float y1, float tx, float ty);
void GLDrawRect(float x0, float y0, float x1, float y1, float tx, float ty);
void GLDrawOval(float x0, float y0, float x1, float y1, float tx, float ty);
void GLDrawPoly(const float* xy, size_t count, float hx, float hy, float ox, float oy);

// ---- Emitting vertices (shared with the frame code). Batched: appended to the run, which is
// drawn first when it is of another kind or full. Immediate: glBegin, the vertices, glEnd.
void GLBeginPrimitiveSlow(GLenum mode, size_t vertices);
void GLEndPrimitiveSlow();

// Room for that many vertices of that kind.
inline void GLBeginPrimitive(GLenum mode, size_t vertices) {
    TGLZeph2DModule& s = GLZeph2DModule();
    TGLRun& r = s.run;
    if (s.batching && mode != GL_POLYGON && (r.mode == mode || r.count == 0) &&
        r.count + vertices <= TGLRun::kRunCapacity && r.count + vertices <= r.vertices.size()) {
        r.mode = mode;
        return;
    }
    GLBeginPrimitiveSlow(mode, vertices);
}

// Ends the primitive; a polygon is drawn at once.
inline void GLEndPrimitive() {
    const TGLZeph2DModule& s = GLZeph2DModule();
    if (!s.batching || s.run.mode == GL_POLYGON) GLEndPrimitiveSlow();
}

// A vertex in the current colour bytes (untextured).
inline void GLVertex(float x, float y) {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (!s.batching) {
        GLFunctions().Vertex2f(x, y);
        return;
    }
    TGLRun& r = s.run;
    TGLVertex& out = r.vertices[r.count++];
    out.x = x;
    out.y = y;
    out.rgba[0] = s.color[0];
    out.rgba[1] = s.color[1];
    out.rgba[2] = s.color[2];
    out.rgba[3] = s.color[3];
}

// A textured vertex in the current colour bytes.
inline void GLTexVertex(float u, float v, float x, float y) {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (!s.batching) {
        TGLFunctions& gl = GLFunctions();
        gl.TexCoord2f(u, v);
        gl.Vertex2f(x, y);
        return;
    }
    TGLRun& r = s.run;
    r.vertices[r.count].u = u;
    r.vertices[r.count].v = v;
    GLVertex(x, y);
}

// ---- Helpers shared with the texture code and tests
constexpr int kMaxOvalSegments = 8192;  // more than any oval on a screen needs
int OvalSegments(float rx, float ry);   // |rx| + |ry|, 12 to kMaxOvalSegments, rounded down to a multiple of 4
int Pow2Size(int n);                    // smallest power of two >= n (1 for n <= 1)

}  // namespace corvex

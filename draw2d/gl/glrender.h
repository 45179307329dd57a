// The OpenGL half of the 2D back end that needs no graphics context object: the state caches,
// blend modes, colour, viewport and scissor, and the untextured primitives. TGLZeph2DDriver
// forwards to these; tests drive them through a recording TGLFunctions.
#pragma once

#include <cstddef>

#include "draw2d/gl/glfuncs.h"

namespace corvex {

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
void GLEnableTex(GLuint name);
void GLDisableTex();

// ---- Primitives (window pixels; local points mapped by the stored matrix and placed at tx, ty)
void GLPlot(float x, float y);
void GLDrawLine(float x0, float y0, float x1, float y1, float tx, float ty);
void GLDrawRect(float x0, float y0, float x1, float y1, float tx, float ty);
void GLDrawOval(float x0, float y0, float x1, float y1, float tx, float ty);
void GLDrawPoly(const float* xy, size_t count, float hx, float hy, float ox, float oy);

// ---- Helpers shared with the texture code and tests
int OvalSegments(float rx, float ry);   // |rx| + |ry|, at least 12, rounded down to a multiple of 4
int Pow2Size(int n);                    // smallest power of two >= n (1 for n <= 1)

}  // namespace corvex

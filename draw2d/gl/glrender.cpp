#include "draw2d/gl/glrender.h"

#include <algorithm>
#include <cmath>

#include <corvex/draw2d/blend.h>

namespace corvex {

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;

GLubyte ClampByte(int value) { return GLubyte(value < 0 ? 0 : value > 255 ? 255 : value); }

// Maps the local point (u, v) through the stored matrix and sends it, placed at (tx, ty).
void SendMapped(const TGLZeph2DModule& s, float u, float v, float tx, float ty, float offset = 0.0f) {
    float x = u * s.ix + v * s.iy + tx;
    float y = u * s.jx + v * s.jy + ty;
    GLVertex(x + offset, y + offset);
}

// Drawing one by one, the colour goes to GL at once; in runs it travels in the vertices and
// reaches glColor4ubv when the run is drawn (or FlushDrawing is called).
void SendColor(TGLZeph2DModule& s) {
    if (s.batching) {
        s.color_pending = true;
    } else {
        GLFunctions().Color4ubv(s.color);
    }
}

}  // namespace

void TGLZeph2DModule::Reset() {
    TGLFunctions* keep = functions;
    *this = TGLZeph2DModule();
    functions = keep;
}

TGLFunctions& GLFunctions() {
    static TGLFunctions library;
    TGLFunctions* override = GLZeph2DModule().functions;
    return override ? *override : library;
}

void SetGLFunctions(TGLFunctions* functions) { GLZeph2DModule().functions = functions; }

void GLFlush() {
    TGLZeph2DModule& s = GLZeph2DModule();
    TGLRun& r = s.run;
    TGLFunctions& gl = GLFunctions();
    if (r.count == 0) {
        if (s.color_pending) gl.Color4ubv(s.color);
        s.color_pending = false;
        return;
    }
    bool textured = s.texturing != 0;
    const TGLVertex* v = r.vertices.data();
    const GLsizei stride = sizeof(TGLVertex);
    gl.VertexPointer(2, GL_FLOAT, stride, &v->x);
    gl.ColorPointer(4, GL_UNSIGNED_BYTE, stride, v->rgba);
    gl.EnableClientState(GL_VERTEX_ARRAY);
    gl.EnableClientState(GL_COLOR_ARRAY);
    if (textured) {
        gl.TexCoordPointer(2, GL_FLOAT, stride, &v->u);
        gl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    gl.DrawArrays(r.mode, 0, GLsizei(r.count));
    if (textured) gl.DisableClientState(GL_TEXTURE_COORD_ARRAY);
    gl.DisableClientState(GL_COLOR_ARRAY);
    gl.DisableClientState(GL_VERTEX_ARRAY);
    r.count = 0;
    // The colour array leaves the current colour undefined; put back the one last set.
    gl.Color4ubv(s.color);
    s.color_pending = false;
}

void GLSetBatching(bool on) {
    GLFlush();
    GLZeph2DModule().batching = on;
}

void GLBeginPrimitiveSlow(GLenum mode, size_t vertices) {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (!s.batching) {
        GLFunctions().Begin(mode);
        return;
    }
    TGLRun& r = s.run;
    if (r.count && (r.mode != mode || mode == GL_POLYGON || r.count + vertices > TGLRun::kRunCapacity)) GLFlush();
    r.mode = mode;
    size_t need = std::max(r.count + vertices, TGLRun::kRunCapacity);
    if (r.vertices.size() < need) r.vertices.resize(need);
}

void GLEndPrimitiveSlow() {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (!s.batching) {
        GLFunctions().End();
        return;
    }
    if (s.run.mode == GL_POLYGON) GLFlush();
}

void GLResetTargetState(int width, int height) {
    TGLFunctions& gl = GLFunctions();
    GLResetContextState(width, height);
    // Image row 0 is texture row 0, which is GL row 0: y runs up the framebuffer.
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, width, 0, height, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
}

void GLResetContextState(int width, int height) {
    TGLZeph2DModule& s = GLZeph2DModule();
    TGLFunctions& gl = GLFunctions();
    s.run.count = 0;  // anything left was meant for the context before
    s.blend_mode = 0;
    s.bound_texture = 0;
    s.texturing = 0;
    gl.Disable(GL_TEXTURE_2D);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, width, height, 0, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.Viewport(0, 0, width, height);
}

void GLSetBlend(int mode) {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (mode == s.blend_mode) return;
    GLFlush();
    s.blend_mode = mode;
    TGLFunctions& gl = GLFunctions();
    switch (mode) {
        case BLEND_MASK:
            gl.Disable(GL_BLEND);
            gl.Enable(GL_ALPHA_TEST);
            gl.AlphaFunc(GL_GEQUAL, 0.5f);
            break;
        case BLEND_ALPHA:
            gl.Enable(GL_BLEND);
            gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            gl.Disable(GL_ALPHA_TEST);
            break;
        case BLEND_ADDITIVE:
            gl.Enable(GL_BLEND);
            gl.BlendFunc(GL_SRC_ALPHA, GL_ONE);
            gl.Disable(GL_ALPHA_TEST);
            break;
        case BLEND_MULTIPLY:
            gl.Enable(GL_BLEND);
            gl.BlendFunc(GL_DST_COLOR, GL_ZERO);
            gl.Disable(GL_ALPHA_TEST);
            break;
        default:  // BLEND_SOLID and anything unknown
            gl.Disable(GL_BLEND);
            gl.Disable(GL_ALPHA_TEST);
            break;
    }
}

void GLSetAlpha(float alpha) {
    // Written so that a NaN fails the ">= 0" test and becomes 0.
    float a = alpha > 1.0f ? 1.0f : (alpha >= 0.0f ? alpha : 0.0f);
    TGLZeph2DModule& s = GLZeph2DModule();
    s.color[3] = GLubyte(int(a * 255.0f));
    SendColor(s);
}

void GLSetColor(int red, int green, int blue) {
    TGLZeph2DModule& s = GLZeph2DModule();
    s.color[0] = ClampByte(red);
    s.color[1] = ClampByte(green);
    s.color[2] = ClampByte(blue);
    SendColor(s);
}

void GLSetClsColor(int red, int green, int blue) {
    float* c = GLZeph2DModule().cls_color;
    c[0] = ClampByte(red) / 255.0f;
    c[1] = ClampByte(green) / 255.0f;
    c[2] = ClampByte(blue) / 255.0f;
    GLFunctions().ClearColor(c[0], c[1], c[2], 1.0f);
}

void GLSetViewport(int x, int y, int width, int height, int window_width, int window_height) {
    GLFlush();
    TGLFunctions& gl = GLFunctions();
    if (x == 0 && y == 0 && width == window_width && height == window_height) {
        gl.Disable(GL_SCISSOR_TEST);
        return;
    }
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(x, window_height - y - height, width, height);
}

void GLSetTransform(float ix, float iy, float jx, float jy) {
    TGLZeph2DModule& s = GLZeph2DModule();
    s.ix = ix;
    s.iy = iy;
    s.jx = jx;
    s.jy = jy;
}

void GLSetLineWidth(float width) {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (width != s.line_width) GLFlush();
    s.line_width = width;
    GLFunctions().LineWidth(width);
}

void GLCls() {
    GLFlush();
    GLFunctions().Clear(GL_COLOR_BUFFER_BIT);
}

void GLEnableTexChange(GLuint name) {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (name == s.bound_texture && s.texturing) return;
    GLFlush();
    TGLFunctions& gl = GLFunctions();
    if (name != s.bound_texture) {
        gl.BindTexture(GL_TEXTURE_2D, name);
        s.bound_texture = name;
    }
    if (!s.texturing) {
        gl.Enable(GL_TEXTURE_2D);
        s.texturing = 1;
    }
}

void GLDisableTex() {
    TGLZeph2DModule& s = GLZeph2DModule();
    if (s.texturing) {
        GLFlush();
        GLFunctions().Disable(GL_TEXTURE_2D);
        s.texturing = 0;
    }
}

void GLPlot(float x, float y) {
    GLDisableTex();
    GLBeginPrimitive(GL_POINTS, 1);
    GLVertex(x + 0.5f, y + 0.5f);
    GLEndPrimitive();
}

void GLDrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDisableTex();
    const TGLZeph2DModule& s = GLZeph2DModule();
    GLBeginPrimitive(GL_LINES, 2);
    SendMapped(s, x0, y0, tx, ty, 0.5f);
    SendMapped(s, x1, y1, tx, ty, 0.5f);
    GLEndPrimitive();
}

void GLDrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDisableTex();
    const TGLZeph2DModule& s = GLZeph2DModule();
    GLBeginPrimitive(GL_QUADS, 4);
    SendMapped(s, x0, y0, tx, ty);
    SendMapped(s, x1, y0, tx, ty);
    SendMapped(s, x1, y1, tx, ty);
    SendMapped(s, x0, y1, tx, ty);
    GLEndPrimitive();
}

int OvalSegments(float rx, float ry) {
    // In double and bounded before the conversion: radii past int (or NaN) must not overflow it
    // nor ask for a vertex array larger than any screen needs.
    double sum = std::fabs(double(rx)) + std::fabs(double(ry));
    if (!(sum >= 12)) return 12;
    if (sum >= kMaxOvalSegments) return kMaxOvalSegments;
    return int(sum) & ~3;
}

void GLDrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLDisableTex();
    const TGLZeph2DModule& s = GLZeph2DModule();
    float rx = (x1 - x0) * 0.5f, ry = (y1 - y0) * 0.5f;
    float cx = x0 + rx, cy = y0 + ry;
    int segments = OvalSegments(rx, ry);
    GLBeginPrimitive(GL_POLYGON, size_t(segments));
    for (int i = 0; i < segments; ++i) {
        float angle = float(i) * 360.0f / float(segments);
        double radians = angle * kDegreesToRadians;
        float u = cx + rx * float(std::cos(radians));
        float v = cy - ry * float(std::sin(radians));
        SendMapped(s, u, v, tx, ty);
    }
    GLEndPrimitive();
}

void GLDrawPoly(const float* xy, size_t count, float hx, float hy, float ox, float oy) {
    if (count < 6 || count % 2 != 0) return;
    GLDisableTex();
    const TGLZeph2DModule& s = GLZeph2DModule();
    GLBeginPrimitive(GL_POLYGON, count / 2);
    for (size_t i = 0; i < count; i += 2) SendMapped(s, xy[i] + hx, xy[i + 1] + hy, ox, oy);
    GLEndPrimitive();
}

int Pow2Size(int n) {
    int size = 1;
    while (size < n && size < (1 << 30)) size <<= 1;
    return size;
}

}  // namespace corvex

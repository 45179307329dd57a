// A TGLFunctions for tests: records every call with its arguments and sends nothing to OpenGL.
// The proxy texture probe accepts sizes up to max_texture_size in each direction.
#pragma once

#include <string>
#include <vector>

#include "draw2d/gl/glfuncs.h"

namespace corvex {

struct TGLCall {
    std::string name;          // "Enable", "Vertex2f", ...
    std::vector<double> args;  // numeric arguments in order (pointers left out)
};

class TGLRecorder : public TGLFunctions {
public:
    std::vector<TGLCall> calls;
    int max_texture_size = 4096;
    GLuint next_texture = 1;
    int proxy_width = 0, proxy_height = 0;
    std::vector<GLuint> deleted;

    void Clear() { calls.clear(); }
    size_t Count(const std::string& name) const;
    std::vector<TGLCall> Named(const std::string& name) const;  // every call of that name, in order
    std::vector<std::pair<float, float>> Vertices() const;      // Vertex2f and vertex-array values, in order

    void Enable(GLenum cap) override { Add("Enable", {double(cap)}); }
    void Disable(GLenum cap) override { Add("Disable", {double(cap)}); }
    void BlendFunc(GLenum s, GLenum d) override { Add("BlendFunc", {double(s), double(d)}); }
    void AlphaFunc(GLenum f, GLclampf r) override { Add("AlphaFunc", {double(f), r}); }
    void LineWidth(GLfloat w) override { Add("LineWidth", {w}); }
    void Scissor(GLint x, GLint y, GLsizei w, GLsizei h) override { Add("Scissor", {double(x), double(y), double(w), double(h)}); }
    void Viewport(GLint x, GLint y, GLsizei w, GLsizei h) override { Add("Viewport", {double(x), double(y), double(w), double(h)}); }
    void Color4ubv(const GLubyte* c) override { Add("Color4ubv", {double(c[0]), double(c[1]), double(c[2]), double(c[3])}); }
    void ClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) override { Add("ClearColor", {r, g, b, a}); }
    void Clear(GLbitfield m) override { Add("Clear", {double(m)}); }
    void MatrixMode(GLenum m) override { Add("MatrixMode", {double(m)}); }
    void LoadIdentity() override { Add("LoadIdentity", {}); }
    void Ortho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) override { Add("Ortho", {l, r, b, t, n, f}); }
    void Begin(GLenum m) override { Add("Begin", {double(m)}); }
    void End() override { Add("End", {}); }
    void Vertex2f(GLfloat x, GLfloat y) override { Add("Vertex2f", {x, y}); }
    void TexCoord2f(GLfloat s, GLfloat t) override { Add("TexCoord2f", {s, t}); }
    void EnableClientState(GLenum a) override;
    void DisableClientState(GLenum a) override;
    void VertexPointer(GLint size, GLenum type, GLsizei stride, const void* p) override;
    void TexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* p) override;
    void ColorPointer(GLint size, GLenum type, GLsizei stride, const void* p) override;
    // Copies out what the enabled arrays hold for the drawn range (see arrays).
    void DrawArrays(GLenum mode, GLint first, GLsizei count) override;
    void GenTextures(GLsizei n, GLuint* t) override;
    void DeleteTextures(GLsizei n, const GLuint* t) override;
    void BindTexture(GLenum target, GLuint t) override { Add("BindTexture", {double(target), double(t)}); }
    void TexParameteri(GLenum target, GLenum p, GLint v) override { Add("TexParameteri", {double(target), double(p), double(v)}); }
    void TexImage2D(GLenum target, GLint level, GLint ifmt, GLsizei w, GLsizei h, GLint border, GLenum fmt,
                    GLenum type, const void* pixels) override;
    void TexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum fmt, GLenum type,
                       const void* pixels) override;
    void GetTexLevelParameteriv(GLenum target, GLint level, GLenum p, GLint* out) override;
    void PixelStorei(GLenum p, GLint v) override {
        if (p == GL_UNPACK_ROW_LENGTH) row_length = v;
        Add("PixelStorei", {double(p), double(v)});
    }
    void RasterPos2i(GLint x, GLint y) override { Add("RasterPos2i", {double(x), double(y)}); }
    void Bitmap(GLsizei w, GLsizei h, GLfloat xo, GLfloat yo, GLfloat xm, GLfloat ym, const GLubyte*) override {
        Add("Bitmap", {double(w), double(h), xo, yo, xm, ym});
    }
    void DrawPixels(GLsizei w, GLsizei h, GLenum fmt, GLenum type, const void*) override {
        Add("DrawPixels", {double(w), double(h), double(fmt), double(type)});
    }
    void ReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum fmt, GLenum type, void* pixels) override;

    // Pixels handed to TexSubImage2D, per call: width, height, row length in pixels and RGBA bytes.
    struct Upload {
        int level, width, height, row_length;
        std::vector<unsigned char> rgba;
    };
    std::vector<Upload> uploads;
    int row_length = 0;

    // What each DrawArrays call drew, copied from the enabled arrays (empty when disabled).
    struct ArrayDraw {
        GLenum mode;
        std::vector<float> xy, uv;
        std::vector<unsigned char> rgba;
    };
    std::vector<ArrayDraw> arrays;
    std::vector<std::pair<float, float>> TexCoords() const;  // TexCoord2f and texture-array values

private:
    bool vertex_on = false, texcoord_on = false, color_on = false;
    const unsigned char* vertex_ptr = nullptr;
    const unsigned char* texcoord_ptr = nullptr;
    const unsigned char* color_ptr = nullptr;
    size_t vertex_stride = 0, texcoord_stride = 0, color_stride = 0;  // bytes
    void Add(const char* name, std::vector<double> args) { calls.push_back({name, std::move(args)}); }
};

// A recorder that routes the GL call layer to itself for its lifetime, starting from a fresh back-end
// state and the identity transform, and leaves the real layer and a fresh state behind it.
class TGLRecording : public TGLRecorder {
public:
    TGLRecording();
    ~TGLRecording() override;
    TGLRecording(const TGLRecording&) = delete;
    TGLRecording& operator=(const TGLRecording&) = delete;
};

}  // namespace corvex

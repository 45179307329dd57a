#include "draw2d/gl/glrecorder.h"

#include <cstring>

#include "draw2d/gl/glrender.h"
#include "draw2d/gl/glzeph2d_module.h"

namespace corvex {

size_t TGLRecorder::Count(const std::string& name) const {
    size_t n = 0;
    for (const TGLCall& c : calls) n += c.name == name;
    return n;
}

std::vector<TGLCall> TGLRecorder::Named(const std::string& name) const {
    std::vector<TGLCall> out;
    for (const TGLCall& c : calls)
        if (c.name == name) out.push_back(c);
    return out;
}

std::vector<std::pair<float, float>> TGLRecorder::Vertices() const {
    std::vector<std::pair<float, float>> out;
    for (const TGLCall& c : calls) {
        if (c.name == "Vertex2f") out.emplace_back(float(c.args[0]), float(c.args[1]));
        if (c.name != "DrawArrays") continue;
        const std::vector<float>& xy = arrays[size_t(c.args[3])].xy;
        for (size_t i = 0; i + 1 < xy.size(); i += 2) out.emplace_back(xy[i], xy[i + 1]);
    }
    return out;
}

std::vector<std::pair<float, float>> TGLRecorder::TexCoords() const {
    std::vector<std::pair<float, float>> out;
    for (const TGLCall& c : calls) {
        if (c.name == "TexCoord2f") out.emplace_back(float(c.args[0]), float(c.args[1]));
        if (c.name != "DrawArrays") continue;
        const std::vector<float>& uv = arrays[size_t(c.args[3])].uv;
        for (size_t i = 0; i + 1 < uv.size(); i += 2) out.emplace_back(uv[i], uv[i + 1]);
    }
    return out;
}

void TGLRecorder::EnableClientState(GLenum a) {
    if (a == GL_VERTEX_ARRAY) vertex_on = true;
    if (a == GL_TEXTURE_COORD_ARRAY) texcoord_on = true;
    if (a == GL_COLOR_ARRAY) color_on = true;
    Add("EnableClientState", {double(a)});
}

void TGLRecorder::DisableClientState(GLenum a) {
    if (a == GL_VERTEX_ARRAY) vertex_on = false;
    if (a == GL_TEXTURE_COORD_ARRAY) texcoord_on = false;
    if (a == GL_COLOR_ARRAY) color_on = false;
    Add("DisableClientState", {double(a)});
}

// Positions and texture coordinates as 2 floats, colours as 4 bytes; a stride of 0 means packed.
void TGLRecorder::VertexPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
    vertex_ptr = static_cast<const unsigned char*>(p);
    vertex_stride = stride ? size_t(stride) : 2 * sizeof(float);
    Add("VertexPointer", {double(size), double(type), double(stride)});
}

void TGLRecorder::TexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
    texcoord_ptr = static_cast<const unsigned char*>(p);
    texcoord_stride = stride ? size_t(stride) : 2 * sizeof(float);
    Add("TexCoordPointer", {double(size), double(type), double(stride)});
}

void TGLRecorder::ColorPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
    color_ptr = static_cast<const unsigned char*>(p);
    color_stride = stride ? size_t(stride) : 4;
    Add("ColorPointer", {double(size), double(type), double(stride)});
}

void TGLRecorder::DrawArrays(GLenum mode, GLint first, GLsizei count) {
    ArrayDraw d{mode, {}, {}, {}};
    for (size_t i = size_t(first); i < size_t(first) + size_t(count); ++i) {
        float pair[2];
        if (vertex_on && vertex_ptr) {
            std::memcpy(pair, vertex_ptr + i * vertex_stride, sizeof pair);
            d.xy.insert(d.xy.end(), pair, pair + 2);
        }
        if (texcoord_on && texcoord_ptr) {
            std::memcpy(pair, texcoord_ptr + i * texcoord_stride, sizeof pair);
            d.uv.insert(d.uv.end(), pair, pair + 2);
        }
        if (color_on && color_ptr) d.rgba.insert(d.rgba.end(), color_ptr + i * color_stride, color_ptr + i * color_stride + 4);
    }
    arrays.push_back(std::move(d));
    Add("DrawArrays", {double(mode), double(first), double(count), double(arrays.size() - 1)});
}

void TGLRecorder::GenTextures(GLsizei n, GLuint* t) {
    for (GLsizei i = 0; i < n; ++i) t[i] = next_texture++;
    Add("GenTextures", {double(n)});
}

void TGLRecorder::DeleteTextures(GLsizei n, const GLuint* t) {
    for (GLsizei i = 0; i < n; ++i) deleted.push_back(t[i]);
    Add("DeleteTextures", {double(n), n > 0 ? double(t[0]) : 0.0});
}

void TGLRecorder::TexImage2D(GLenum target, GLint level, GLint ifmt, GLsizei w, GLsizei h, GLint border, GLenum fmt,
                             GLenum type, const void*) {
    if (target == GL_PROXY_TEXTURE_2D) {
        proxy_width = w;
        proxy_height = h;
    }
    Add("TexImage2D", {double(target), double(level), double(ifmt), double(w), double(h), double(border),
                       double(fmt), double(type)});
}

void TGLRecorder::TexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum fmt,
                                GLenum type, const void* pixels) {
    Add("TexSubImage2D", {double(target), double(level), double(x), double(y), double(w), double(h), double(fmt),
                          double(type)});
    Upload up{level, w, h, row_length, {}};
    int stride = row_length > 0 ? row_length : w;
    const unsigned char* p = static_cast<const unsigned char*>(pixels);
    for (int row = 0; row < h; ++row)
        up.rgba.insert(up.rgba.end(), p + size_t(row) * stride * 4, p + size_t(row) * stride * 4 + size_t(w) * 4);
    uploads.push_back(std::move(up));
}

void TGLRecorder::GetTexLevelParameteriv(GLenum target, GLint level, GLenum p, GLint* out) {
    Add("GetTexLevelParameteriv", {double(target), double(level), double(p)});
    bool fits = proxy_width <= max_texture_size && proxy_height <= max_texture_size;
    *out = fits ? (p == GL_TEXTURE_HEIGHT ? proxy_height : proxy_width) : 0;
}

void TGLRecorder::ReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum fmt, GLenum type, void* pixels) {
    Add("ReadPixels", {double(x), double(y), double(w), double(h), double(fmt), double(type)});
    std::memset(pixels, 0, size_t(w) * h * 4);
}

TGLRecording::TGLRecording() {
    GLZeph2DModule().Reset();
    SetGLFunctions(this);
    GLSetTransform(1, 0, 0, 1);
}

TGLRecording::~TGLRecording() {
    SetGLFunctions(nullptr);
    GLZeph2DModule().Reset();
}

}  // namespace corvex

#include "draw2d/gl/glframe.h"

#include <algorithm>
#include <functional>

#include "draw2d/gl/glrender.h"
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/runtime/exception.h>
#include "draw2d/gl/glzeph2d_module.h"

namespace corvex {

// Defined by the driver: runs body with the shared texture context current.
void WithSharedContext(const std::function<void()>& body);

TGLImageFrame::TGLImageFrame() : seq(GraphicsSequence()), made_in(GLZeph2DContextDriver().get()) {}

TGLImageFrame::~TGLImageFrame() {
    try {
        Release();
    } catch (...) {
        // A destructor must not throw; the texture is lost with its context anyway.
    }
}

void TGLImageFrame::Release() {
    if (seq == 0) return;
    int made_for = seq;
    seq = 0;
    // Images that outlive the program's exit steps would reach for contexts being torn down;
    // their textures go with the process.
    if (GLZeph2DModule().exiting) return;
    // A texture of another driver's contexts is not ours to delete: the same name here may be
    // another image's texture. It goes with that driver's shared context.
    if (made_in != GLZeph2DContextDriver().get()) return;
    GLuint n = name;
    WithSharedContext([n] { GLFunctions().DeleteTextures(1, &n); });
    if (made_for == GraphicsSequence()) GLFunctions().DeleteTextures(1, &n);
    // The cached binding must not name a texture that no longer exists.
    if (GLZeph2DModule().bound_texture == n) GLZeph2DModule().bound_texture = 0;
}

void TGLImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
    GLEnableTex(name);
    const TGLZeph2DModule& s = GLZeph2DModule();
    TGLFunctions& gl = GLFunctions();
    auto vertex = [&](float u, float v) { gl.Vertex2f(u * s.ix + v * s.iy + tx, u * s.jx + v * s.jy + ty); };
    gl.Begin(GL_QUADS);
    gl.TexCoord2f(u0, v0);
    vertex(x0, y0);
    gl.TexCoord2f(u1, v0);
    vertex(x1, y0);
    gl.TexCoord2f(u1, v1);
    vertex(x1, y1);
    gl.TexCoord2f(u0, v1);
    vertex(x0, y1);
    gl.End();
}

void AdjustTexSize(int& width, int& height) {
    width = Pow2Size(width);
    height = Pow2Size(height);
    TGLFunctions& gl = GLFunctions();
    for (;;) {
        gl.TexImage2D(GL_PROXY_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        GLint answer = 0;
        gl.GetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &answer);
        if (answer != 0) return;
        if (width == 1 && height == 1) throw TRuntimeException("Unable to calculate tex size");
        if (width > 1) width /= 2;
        if (height > 1) height /= 2;
    }
}

Ref<TPixmap> PadTexturePixmap(const Ref<TPixmap>& source, int tw, int th) {
    int w = source->width, h = source->height;
    if (w >= tw && h >= th)
        return source->format == FORMAT_RGBA8888 ? source : source->Convert(FORMAT_RGBA8888);
    Ref<TPixmap> tex = TPixmap::Create(tw, th, FORMAT_RGBA8888, 4);
    // Texels beyond the repeated column and row are never sampled inside the frame; clear them
    // so uploads carry no stale memory.
    tex->ClearPixels(0);
    tex->Paste(*source, 0, 0);
    if (w < tw) tex->Paste(*source->Window(w - 1, 0, 1, h), w, 0);
    if (h < th) {
        tex->Paste(*source->Window(0, h - 1, w, 1), 0, h);
        if (w < tw) tex->Paste(*source->Window(w - 1, h - 1, 1, 1), w, h);
    }
    return tex;
}

GLuint CreateTex(int width, int height, int flags) {
    TGLFunctions& gl = GLFunctions();
    GLuint name = 0;
    gl.GenTextures(1, &name);
    gl.BindTexture(GL_TEXTURE_2D, name);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    bool filtered = flags & IMAGE_FILTERED, mipmapped = flags & IMAGE_MIPMAPPED;
    GLint mag = filtered ? GL_LINEAR : GL_NEAREST;
    GLint min = mipmapped ? (filtered ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST) : mag;
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
    for (int level = 0;; ++level) {
        gl.TexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        if (!mipmapped || (width == 1 && height == 1)) break;
        if (width > 1) width /= 2;
        if (height > 1) height /= 2;
    }
    return name;
}

void UploadTex(Ref<TPixmap> pixmap, int flags) {
    TGLFunctions& gl = GLFunctions();
    for (int level = 0;; ++level) {
        gl.PixelStorei(GL_UNPACK_ROW_LENGTH, pixmap->pitch / BytesPerPixel[pixmap->format]);
        gl.TexSubImage2D(GL_TEXTURE_2D, level, 0, 0, pixmap->width, pixmap->height, GL_RGBA, GL_UNSIGNED_BYTE,
                         pixmap->pixels);
        if (!(flags & IMAGE_MIPMAPPED)) break;
        int w = pixmap->width, h = pixmap->height;
        if (w > 1 && h > 1) {
            pixmap = ResamplePixmap(pixmap, w / 2, h / 2);
        } else if (w > 1) {
            pixmap = ResamplePixmap(pixmap, w / 2, h);
        } else if (h > 1) {
            pixmap = ResamplePixmap(pixmap, w, h / 2);
        } else {
            break;
        }
    }
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

Ref<TGLImageFrame> TGLImageFrame::CreateFromPixmap(const Ref<TPixmap>& pixmap, int flags) {
    if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return nullptr;  // nothing to show
    int tw = pixmap->width, th = pixmap->height;
    AdjustTexSize(tw, th);
    int w = std::min(pixmap->width, tw), h = std::min(pixmap->height, th);
    Ref<TPixmap> source = pixmap;
    if (pixmap->width > tw || pixmap->height > th) source = ResamplePixmap(pixmap, w, h);
    Ref<TPixmap> tex = PadTexturePixmap(source, tw, th);
    auto frame = std::make_shared<TGLImageFrame>();
    frame->name = CreateTex(tw, th, flags);
    UploadTex(tex, flags);
    frame->u1 = float(w) / float(tw);
    frame->v1 = float(h) / float(th);
    return frame;
}

}  // namespace corvex

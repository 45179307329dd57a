#include "draw2d/gl/glframe.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "draw2d/gl/glrender.h"
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/runtime/exception.h>

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
    seq = 0;
    // Images that outlive the program's exit steps would reach for contexts being torn down;
    // their textures go with the process.
    if (GLZeph2DModule().exiting) return;
    // A texture of another driver's contexts is not ours to delete: the same name here may be
    // another image's texture. It goes with that driver's shared context.
    if (made_in != GLZeph2DContextDriver().get()) return;
    // Every texture is made in the shared context, so it is deleted there, once: deleting the name
    // again in the drawing context could hit another texture, or no context at all.
    GLuint n = name;
    WithSharedContext([n] { GLFunctions().DeleteTextures(1, &n); });
    // The cached binding must not name a texture that no longer exists.
    if (GLZeph2DModule().bound_texture == n) GLZeph2DModule().bound_texture = 0;
}

namespace {

// One textured quad: texture corners (s0, t0)-(s1, t1) over the local rectangle, mapped and placed.
// Batched, the four vertices are written straight into the run.
void TexturedQuad(GLuint name, float s0, float t0, float s1, float t1, float x0, float y0, float x1, float y1,
                  float tx, float ty) {
    GLEnableTex(name);
    TGLZeph2DModule& s = GLZeph2DModule();
    float ix = s.ix, iy = s.iy, jx = s.jx, jy = s.jy;
    const float xy[8] = {x0 * ix + y0 * iy + tx, x0 * jx + y0 * jy + ty, x1 * ix + y0 * iy + tx,
                         x1 * jx + y0 * jy + ty, x1 * ix + y1 * iy + tx, x1 * jx + y1 * jy + ty,
                         x0 * ix + y1 * iy + tx, x0 * jx + y1 * jy + ty};
    const float uv[8] = {s0, t0, s1, t0, s1, t1, s0, t1};
    GLBeginPrimitive(GL_QUADS, 4);
    if (s.batching) {
        TGLRun& r = s.run;
        TGLVertex* out = &r.vertices[r.count];
        for (int k = 0; k < 4; ++k) {
            out[k].x = xy[2 * k];
            out[k].y = xy[2 * k + 1];
            out[k].u = uv[2 * k];
            out[k].v = uv[2 * k + 1];
            std::memcpy(out[k].rgba, s.color, 4);
        }
        r.count += 4;
        return;
    }
    for (int k = 0; k < 4; ++k) GLTexVertex(uv[2 * k], uv[2 * k + 1], xy[2 * k], xy[2 * k + 1]);
    GLEndPrimitive();
}

}  // namespace

void TGLImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
    TexturedQuad(name, u0, v0, u1, v1, x0, y0, x1, y1, tx, ty);
}

bool TGLImageFrame::DrawPart(float x0, float y0, float x1, float y1, float tx, float ty, int px0, int py0, int px1,
                             int py1) {
    // A resampled texture no longer holds the pixels at their own coordinates.
    if (tex_width <= 0 || tex_height <= 0 || resampled) return false;
    float sw = float(tex_width), sh = float(tex_height);
    TexturedQuad(name, float(px0) / sw, float(py0) / sh, float(px1) / sw, float(py1) / sh, x0, y0, x1, y1, tx, ty);
    return true;
}

bool TGLImageFrame::WritePart(const Ref<TPixmap>& part, int x, int y) {
    if (!part || seq == 0 || resampled || mipmapped || GLZeph2DModule().exiting) return false;
    if (made_in != GLZeph2DContextDriver().get()) return false;
    int right = x + part->width, bottom = y + part->height;
    if (x < 0 || y < 0 || part->width <= 0 || part->height <= 0 || right > width || bottom > height) return false;
    if ((right == width && width < tex_width) || (bottom == height && height < tex_height)) return false;
    Ref<TPixmap> rgba = part->format == FORMAT_RGBA8888 ? part : part->Convert(FORMAT_RGBA8888);
    GLuint n = name;
    WithSharedContext([&] {
        TGLFunctions& gl = GLFunctions();
        gl.BindTexture(GL_TEXTURE_2D, n);
        gl.PixelStorei(GL_UNPACK_ROW_LENGTH, rgba->pitch / BytesPerPixel[rgba->format]);
        gl.TexSubImage2D(GL_TEXTURE_2D, 0, x, y, rgba->width, rgba->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba->pixels);
        gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    });
    // A context sees another's change to a texture once it binds the texture again.
    if (GLZeph2DModule().bound_texture == n) GLZeph2DModule().bound_texture = 0;
    return true;
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
    frame->tex_width = tw;
    frame->tex_height = th;
    frame->width = w;
    frame->height = h;
    frame->resampled = source != pixmap;
    frame->mipmapped = (flags & IMAGE_MIPMAPPED) != 0;
    return frame;
}

}  // namespace corvex

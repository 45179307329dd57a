#include <corvex/draw2d/image.h>

#include <cmath>
#include <typeinfo>

#include <corvex/pixmap/loader.h>
#include "draw2d/draw2d_module.h"

namespace corvex {

namespace {

Ref<TPixmap> ObtainPixmap(const TUrl& url_or_pixmap) {
    if (auto pixmap = std::dynamic_pointer_cast<TPixmap>(url_or_pixmap.Object())) return pixmap;
    return LoadPixmap(url_or_pixmap);
}

int ResolveFlags(int flags) { return flags == -1 ? Draw2DModule().auto_image_flags : flags; }

void ApplyAutoMidHandle(const Ref<TImage>& image) {
    if (image && Draw2DModule().auto_mid_handle) MidHandleImage(image);
}

// The context a render image's drawing state stands over: only its size.
class TRenderGraphics : public TGraphics {
public:
    TRenderGraphics(int w, int h, Ref<TGraphicsDriver> d) : width(w), height(h), driver(std::move(d)) {}
    Ref<TGraphicsDriver> Driver() override { return driver; }
    void GetSettings(int32_t* w, int32_t* h, int32_t* depth, int32_t* hertz, int32_t* flags) override {
        *w = width;
        *h = height;
        *depth = *hertz = *flags = 0;
    }
    void Close() override {}
    int width, height;
    Ref<TGraphicsDriver> driver;
};

// The frame to draw image with. The render image being drawn into (or a sub-image of it) is
// drawn from a copy of what it holds now: sampling a texture while drawing into it is undefined.
Ref<TImageFrame> DrawableFrame(const Ref<TImage>& image, int frame) {
    TDraw2DModule& m = Draw2DModule();
    if (!m.target || (image != m.target && image->_parent != m.target)) return image->Frame(frame);
    if (frame != 0) throw TRuntimeException("Image frame index out of range");
    Ref<TPixmap> now = m.driver->GrabPixmap(0, 0, m.target->width, m.target->height);
    if (image->_parent) now = now->Window(image->_part_x, image->_part_y, image->width, image->height);
    return m.driver->CreateFrameFromPixmap(now, image->flags);
}

}  // namespace

// ---- TImage

void TImage::CheckIndex(int index) const {
    if (index < 0 || size_t(index) >= pixmaps.size()) throw TRuntimeException("Image frame index out of range");
}

const TDataType& TImage::DataType() const {
    static const TDataType type{"KVL.Draw2D.TImage"};
    return type;
}

Ref<TImageFrame> TImage::Frame(int index) {
    CheckIndex(index);
    int sequence = GraphicsSequence();
    // A sub-image's frame also goes stale when its source's pixels change.
    bool source_current = !_parent || _parent_revisions[size_t(index)] == _parent->_revision;
    if (seqs[index] == sequence && source_current) return frames[index];
    if (!Draw2DModule().driver) return nullptr;  // no drawing driver to make a frame with
    Ref<TPixmap> pixmap = Lock(index, 1, 0);
    if (_parent) _parent_revisions[size_t(index)] = _parent->_revision;
    frames[index] = nullptr;  // let the old frame (and its texture) go before making the new one
    frames[index] = Draw2DModule().driver->CreateFrameFromPixmap(pixmap, flags);
    seqs[index] = frames[index] ? sequence : 0;
    return frames[index];
}

Ref<TPixmap> TImage::Lock(int index, int read, int write) {
    CheckIndex(index);
    // Its texture is where drawing goes: it must not be dropped, and the pixmap is behind.
    if (_render && Draw2DModule().target.get() == this) throw TRuntimeException("Image is being drawn into");
    if (write) {
        seqs[index] = 0;
        frames[index] = nullptr;
        ++_revision;
        ++edits;
    }
    if (_parent) {
        // A view of the source's pixels: writes land in the source, which drops its own frame.
        Ref<TPixmap> source = _parent->Lock(index, read, write);
        return source->Window(_part_x, _part_y, width, height);
    }
    if (!pixmaps[index]) pixmaps[index] = TPixmap::Create(width, height, FORMAT_RGBA8888, 4);
    return pixmaps[index];
}

void TImage::SetPixmap(int index, Ref<TPixmap> pixmap) {
    CheckIndex(index);
    if (!pixmap) throw TRuntimeException("Image pixmap is Null");
    if ((flags & IMAGE_MASKED) && AlphaBitsPerPixel[pixmap->format] == 0)
        pixmap = ColorKeyPixmap(pixmap, mask_r, mask_g, mask_b);
    if (_parent) {
        // Written into the source's rectangle, as a Lock for writing would.
        Lock(index, 0, 1)->Paste(*pixmap, 0, 0);
        return;
    }
    pixmaps[index] = std::move(pixmap);
    seqs[index] = 0;
    frames[index] = nullptr;
    ++_revision;
    ++edits;
}

Ref<TImage> TImage::Create(int width, int height, int frame_count, int flags, int mask_r, int mask_g, int mask_b) {
    auto image = std::make_shared<TImage>();
    image->width = width;
    image->height = height;
    image->flags = flags;
    image->mask_r = mask_r;
    image->mask_g = mask_g;
    image->mask_b = mask_b;
    size_t count = frame_count > 0 ? size_t(frame_count) : 0;
    image->pixmaps.assign(count, nullptr);
    image->frames.assign(count, nullptr);
    image->seqs.assign(count, 0);
    return image;
}

Ref<TImage> TImage::Load(const TUrl& url_or_pixmap, int flags, int mask_r, int mask_g, int mask_b) {
    Ref<TPixmap> pixmap = ObtainPixmap(url_or_pixmap);
    if (!pixmap) return nullptr;
    Ref<TImage> image = Create(pixmap->width, pixmap->height, 1, flags, mask_r, mask_g, mask_b);
    image->SetPixmap(0, pixmap);
    return image;
}

Ref<TImage> TImage::LoadAnim(const TUrl& url_or_pixmap, int cell_width, int cell_height, int first, int count,
                             int flags, int mask_r, int mask_g, int mask_b) {
    Ref<TPixmap> pixmap = ObtainPixmap(url_or_pixmap);
    if (!pixmap) return nullptr;
    // Cells must have a size and the range must lie inside the sheet.
    if (cell_width <= 0 || cell_height <= 0 || first < 0 || count <= 0) return nullptr;
    int across = pixmap->width / cell_width, down = pixmap->height / cell_height;
    if (int64_t(first) + count > int64_t(across) * down) return nullptr;
    Ref<TImage> image = Create(cell_width, cell_height, count, flags, mask_r, mask_g, mask_b);
    for (int cell = first; cell < first + count; ++cell) {
        Ref<TPixmap> window =
            pixmap->Window(cell % across * cell_width, cell / across * cell_height, cell_width, cell_height);
        image->SetPixmap(cell - first, window->Copy());
    }
    return image;
}

// ---- Module operations

Ref<TImage> LoadImage(const TUrl& url_or_pixmap, int flags) {
    const TDraw2DModule& m = Draw2DModule();
    Ref<TImage> image = TImage::Load(url_or_pixmap, ResolveFlags(flags), m.mask_red, m.mask_green, m.mask_blue);
    ApplyAutoMidHandle(image);
    return image;
}

Ref<TImage> LoadAnimImage(const TUrl& url_or_pixmap, int cell_width, int cell_height, int first, int count,
                          int flags) {
    const TDraw2DModule& m = Draw2DModule();
    Ref<TImage> image = TImage::LoadAnim(url_or_pixmap, cell_width, cell_height, first, count, ResolveFlags(flags),
                                         m.mask_red, m.mask_green, m.mask_blue);
    ApplyAutoMidHandle(image);
    return image;
}

Ref<TImage> CreateImage(int width, int height, int frame_count, int flags) {
    const TDraw2DModule& m = Draw2DModule();
    Ref<TImage> image = TImage::Create(width, height, frame_count, ResolveFlags(flags) | IMAGE_DYNAMIC, m.mask_red,
                                       m.mask_green, m.mask_blue);
    ApplyAutoMidHandle(image);
    return image;
}

Ref<TImage> CreateSubImage(const Ref<TImage>& image, int x, int y, int width, int height) {
    if (!image || width <= 0 || height <= 0 || x < 0 || y < 0 || x > image->width - width ||
        y > image->height - height)
        return nullptr;
    Ref<TImage> sub = TImage::Create(width, height, int(image->frames.size()), image->flags, image->mask_r,
                                     image->mask_g, image->mask_b);
    // A sub-image of a sub-image refers to the first source, so revisions are followed one level.
    Ref<TImage> source = image;
    while (source->_parent) {
        x += source->_part_x;
        y += source->_part_y;
        source = source->_parent;
    }
    sub->_parent = source;
    sub->_part_x = x;
    sub->_part_y = y;
    sub->_parent_revisions.assign(image->frames.size(), -1);
    ApplyAutoMidHandle(sub);
    return sub;
}

Ref<TImage> CreateRenderImage(int width, int height, int flags) {
    const TDraw2DModule& m = Draw2DModule();
    int resolved = (ResolveFlags(flags) | IMAGE_DYNAMIC) & ~IMAGE_MIPMAPPED;
    Ref<TImage> image = TImage::Create(width, height, 1, resolved, m.mask_red, m.mask_green, m.mask_blue);
    image->_render = true;
    if (width > 0 && height > 0) image->Lock(0, 0, 1)->ClearPixels(0);
    ApplyAutoMidHandle(image);
    return image;
}

// Drawing leaves the render image: its pixels are read back and, when asked, the graphics'
// state is made current again.
void LeaveRenderImage(bool make_return_current) {
    TDraw2DModule& m = Draw2DModule();
    Ref<TImage> image = std::move(m.target);
    m.target = nullptr;
    Ref<TPixmap> pixels = m.driver ? m.driver->EndRenderTarget() : nullptr;
    if (pixels) {
        // The texture already holds these pixels, so the frame stays; sub-images remake theirs.
        image->pixmaps[0] = pixels;
        ++image->_revision;
        ++image->edits;
    }
    Ref<TZeph2DGraphics> back = std::move(m.target_return);
    m.target_return = nullptr;
    if (!make_return_current) return;
    if (back && back->_graphics) {
        back->MakeCurrent();
    } else {
        TZeph2DGraphics::ClearCurrent();
    }
}

int32_t SetRenderImage(const Ref<TImage>& image) {
    TDraw2DModule& m = Draw2DModule();
    if (image && image == m.target) return 1;
    if (image && !image->_render) throw TRuntimeException("Not a render image");
    if (m.target) LeaveRenderImage(true);
    if (!image) return 1;
    Ref<TZeph2DGraphics> back = TZeph2DGraphics::Current();
    if (!back) throw TRuntimeException("No graphics are current");
    Ref<TImageFrame> f = image->Frame(0);
    if (!f || !m.driver->BeginRenderTarget(f, image->width, image->height)) return 0;
    if (!image->_render_state) {
        auto graphics = std::make_shared<TRenderGraphics>(image->width, image->height, m.driver);
        image->_render_state = TZeph2DGraphics::Create(graphics, m.driver);
        image->_render_state->_setup = 1;  // not a window: nothing to clear or flip
    }
    m.target = image;
    m.target_return = back;
    image->_render_state->MakeCurrent();
    return 1;
}

Ref<TImage> RenderImage() { return Draw2DModule().target; }

int ImageWidth(const Ref<TImage>& image) { return image->width; }
int ImageHeight(const Ref<TImage>& image) { return image->height; }

void SetImageHandle(const Ref<TImage>& image, float x, float y) {
    image->handle_x = x;
    image->handle_y = y;
}

void MidHandleImage(const Ref<TImage>& image) {
    image->handle_x = float(image->width) * 0.5f;
    image->handle_y = float(image->height) * 0.5f;
}

void SetAutoMidHandle(int enable) { Draw2DModule().auto_mid_handle = enable != 0; }

void SetAutoImageFlags(int flags) {
    if (flags != -1) Draw2DModule().auto_image_flags = flags;
}

Ref<TPixmap> LockImage(const Ref<TImage>& image, int frame, int read, int write) {
    return image->Lock(frame, read, write);
}

void UnlockImage(const Ref<TImage>&, int) {}

void GrabImage(const Ref<TImage>& image, int x, int y, int frame) {
    Ref<TPixmap> pixmap = GrabPixmap(x, y, image->width, image->height);
    if (image->flags & IMAGE_MASKED) {
        const TDraw2DModule& m = Draw2DModule();
        pixmap = ColorKeyPixmap(pixmap, m.mask_red, m.mask_green, m.mask_blue);
    }
    image->SetPixmap(frame, pixmap);
}

void DrawImage(const Ref<TImage>& image, float x, float y, int frame) {
    DrawImageRect(image, x, y, float(image->width), float(image->height), frame);
}

void DrawImageRect(const Ref<TImage>& image, float x, float y, float width, float height, int frame) {
    // The sprite path: no reference taken on the state, and none on a frame made for this context
    // already (the image holds it while it is drawn).
    TDraw2DModule& m = Draw2DModule();
    const TZeph2DGraphics* state = m.current.get();
    if (!state) throw TRuntimeException("No graphics are current");
    TImageFrame* f = nullptr;
    Ref<TImageFrame> made;
    TImage& im = *image;
    if (!m.target && !im._parent && typeid(im) == typeid(TImage) && unsigned(frame) < im.frames.size() &&
        im.seqs[size_t(frame)] == GraphicsSequence()) {
        f = im.frames[size_t(frame)].get();
    }
    if (!f) {
        made = DrawableFrame(image, frame);
        f = made.get();
    }
    if (!f) return;
    float x0 = -im.handle_x, y0 = -im.handle_y;
    float tx = x + state->origin_x, ty = y + state->origin_y;
    PlaceThroughView(*state, tx, ty);
    f->Draw(x0, y0, x0 + width, y0 + height, tx, ty);
}

void TileImage(const Ref<TImage>& image, float x, float y, int frame) {
    Ref<TZeph2DGraphics> state = TZeph2DGraphics::Current();
    if (!state) throw TRuntimeException("No graphics are current");
    Ref<TImageFrame> f = DrawableFrame(image, frame);
    if (!f) return;
    int w = image->width, h = image->height;
    if (w <= 0 || h <= 0) return;  // nothing to tile with, and the steps below would not advance
    Draw2DModule().driver->SetTransform(1, 0, 0, 1);
    int vx = state->viewport_x, vy = state->viewport_y, vw = state->viewport_w, vh = state->viewport_h;
    int left = vx - w + 1, top = vy - h + 1;
    float px = x + state->origin_x - image->handle_x;
    float py = y + state->origin_y - image->handle_y;
    float fx = px - std::floor(px), fy = py - std::floor(py);
    int sx = int(std::floor(px) - float(left));
    int sy = int(std::floor(py) - float(top));
    // The first tile starts at or left of (above) the viewport edge. A remainder of 0 on the
    // negative side maps to left (top) itself, so the column (row) at the edge is never missed.
    sx = (sx % w + w) % w + left;
    sy = (sy % h + h) % h + top;
    for (int ty = sy; ty < vy + vh; ty += h)
        for (int tx = sx; tx < vx + vw; tx += w) f->Draw(0, 0, float(w), float(h), float(tx) + fx, float(ty) + fy);
    UpdateTransform();
}

}  // namespace corvex

// Images: one or more equally sized pixmaps (the master pixels) with a renderer frame per
// pixmap, made lazily in each graphics context. Frames made for an earlier context are
// rebuilt from the kept pixmaps, so images survive closing and reopening graphics.
#pragma once

#include <vector>

#include <corvex/draw2d/zeph2d.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/stream/stream.h>

namespace corvex {

// An image: its frames' pixmaps, their renderer frames and the handle it is drawn about.
class TImage : public TData {
public:
    int width = 0, height = 0;  // size of every frame
    int flags = 0;              // IMAGE_* bits
    int mask_r = 0, mask_g = 0, mask_b = 0;  // colour keyed away when masked
    float handle_x = 0, handle_y = 0;        // in image pixels, not negated
    std::vector<Ref<TPixmap>> pixmaps;       // per frame index; Null until set or locked
    std::vector<Ref<TImageFrame>> frames;    // per frame index; Null until made
    std::vector<int> seqs;                   // GraphicsSequence each frame was made for; 0 = none
    uint32_t edits = 0;                      // bumped by every write Lock and SetPixmap: copies compare it

    const TDataType& DataType() const override;
    virtual Ref<TImageFrame> Frame(int index);                   // made on demand for this context
    virtual Ref<TPixmap> Lock(int index, int read, int write);   // write drops the frame
    virtual void SetPixmap(int index, Ref<TPixmap> pixmap);      // colour-keyed when masked

    // frame_count empty frames; masked images key away the mask colour.
    static Ref<TImage> Create(int width, int height, int frame_count, int flags, int mask_r, int mask_g,
                              int mask_b);
    // The URL may be a TPixmap, used as it is. Null when no pixmap can be had.
    static Ref<TImage> Load(const TUrl& url_or_pixmap, int flags, int mask_r, int mask_g, int mask_b);
    // Cells numbered left to right, then top to bottom; Null when the sheet is too small.
    static Ref<TImage> LoadAnim(const TUrl& url_or_pixmap, int cell_width, int cell_height, int first, int count,
                                int flags, int mask_r, int mask_g, int mask_b);

private:
    void CheckIndex(int index) const;  // raises for an index outside 0..frame count - 1
};

// ---- Loading and creating (flags -1 = the auto image flags; the module mask colour applies)
Ref<TImage> LoadImage(const TUrl& url_or_pixmap, int flags = -1);
Ref<TImage> LoadAnimImage(const TUrl& url_or_pixmap, int cell_width, int cell_height, int first, int count,
                          int flags = -1);
Ref<TImage> CreateImage(int width, int height, int frame_count = 1, int flags = -1);  // adds IMAGE_DYNAMIC

// ---- Properties and module switches
int ImageWidth(const Ref<TImage>& image);
int ImageHeight(const Ref<TImage>& image);
void SetImageHandle(const Ref<TImage>& image, float x, float y);
void MidHandleImage(const Ref<TImage>& image);
void SetAutoMidHandle(int enable);   // centre the handle of images made from now on
void SetAutoImageFlags(int flags);   // -1 leaves them unchanged

// ---- Pixels
Ref<TPixmap> LockImage(const Ref<TImage>& image, int frame = 0, int read = 1, int write = 1);
void UnlockImage(const Ref<TImage>& image, int frame = 0);  // nothing to do
void GrabImage(const Ref<TImage>& image, int x, int y, int frame = 0);  // window pixels into a frame

// ---- Drawing (through the current colour, alpha, blend, rotation and scale; the image's handle)
void DrawImage(const Ref<TImage>& image, float x, float y, int frame = 0);
void DrawImageRect(const Ref<TImage>& image, float x, float y, float width, float height, int frame = 0);
void TileImage(const Ref<TImage>& image, float x = 0, float y = 0, int frame = 0);  // covers the viewport

}  // namespace corvex

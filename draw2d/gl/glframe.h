// OpenGL image frames: one texture per frame, sized to a power of two that the OpenGL
// implementation accepts, holding the pixmap in its top-left corner.
#pragma once

#include <corvex/draw2d/zeph2d.h>
#include <corvex/graphics/gl_context_driver.h>
#include "draw2d/gl/glfuncs.h"

namespace corvex {

class TGLImageFrame : public TImageFrame {
public:
    float u0 = 0, v0 = 0;  // top-left texture coordinates (always 0)
    float u1 = 0, v1 = 0;  // bottom-right: used width / texture width, used height / texture height
    GLuint name = 0;       // the texture
    int seq = 0;           // GraphicsSequence at creation; 0 once the texture is deleted
    const TGLContextDriver* made_in = nullptr;  // the driver whose shared context holds the texture
    int tex_width = 0, tex_height = 0;  // texture size in texels
    int width = 0, height = 0;          // texels holding the pixmap's pixels, from the top-left corner
    bool resampled = false;             // the pixmap was shrunk to fit the largest texture
    bool mipmapped = false;             // smaller levels follow level 0

    TGLImageFrame();
    ~TGLImageFrame() override;  // deletes the texture in the shared context (see Release)
    TGLImageFrame(const TGLImageFrame&) = delete;
    TGLImageFrame& operator=(const TGLImageFrame&) = delete;

    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
    bool DrawPart(float x0, float y0, float x1, float y1, float tx, float ty, int px0, int py0, int px1,
                  int py1) override;
    // Level 0 texels at (x, y) from part, in the shared context. False for a resampled or
    // mipmapped texture, a deleted one, one of another driver, or texels whose edge copies
    // (the padding past the pixmap) would go stale.
    bool WritePart(const Ref<TPixmap>& part, int x, int y) override;
    void Release();  // deletes the texture once; later calls do nothing

    // Uploads pixmap into a new texture of the context that is current now (the driver makes
    // the shared context current around this). Raises "Unable to calculate tex size".
    static Ref<TGLImageFrame> CreateFromPixmap(const Ref<TPixmap>& pixmap, int flags);
};

// ---- Texture helpers (all through the GL call layer)
void AdjustTexSize(int& width, int& height);          // powers of two accepted by the proxy probe
Ref<TPixmap> PadTexturePixmap(const Ref<TPixmap>& source, int tex_width, int tex_height);  // RGBA
GLuint CreateTex(int width, int height, int flags);   // bound, parameters set, levels allocated
void UploadTex(Ref<TPixmap> pixmap, int flags);       // level 0, then halvings when mipmapped

}  // namespace corvex

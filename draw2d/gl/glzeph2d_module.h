// The OpenGL 2D back end's state: GL state caches shared by every context, the call layer.
// In-tree code only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "draw2d/gl/glfuncs.h"
#include <corvex/runtime/object.h>
#include <corvex/graphics/gl_context_driver.h>

namespace corvex {

// One vertex of a run, interleaved so that OpenGL fetches a vertex from one place.
struct TGLVertex {
    float x, y;        // window position
    float u, v;        // texture coordinate (unused when texturing is off)
    GLubyte rgba[4];   // colour bytes
};

// Vertices waiting to be drawn as one run, all of one primitive kind, in a client-side array. A
// run holds at most kRunCapacity vertices of quads, lines or points; a polygon is always a run of
// its own.
struct TGLRun {
    static constexpr size_t kRunCapacity = 16384;  // a multiple of 4 and 2: no quad or line is split
    GLenum mode = GL_QUADS;
    size_t count = 0;
    std::vector<TGLVertex> vertices;  // at least count long
};

// The back end's module state: one copy shared by every context.
struct TGLZeph2DModule {
    int blend_mode = 0;         // last blend mode applied to GL; 0 = none applied
    GLuint bound_texture = 0;   // texture name last bound to GL_TEXTURE_2D
    int texturing = 0;          // whether GL_TEXTURE_2D is enabled
    GLubyte color[4] = {0, 0, 0, 0};  // red, green, blue, alpha as sent to glColor4ubv
    float ix = 0, iy = 0, jx = 0, jy = 0;  // the last SetTransform
    TGLFunctions* functions = nullptr;     // call layer override (tests); nullptr = the library
    bool exiting = false;                  // set at program exit: textures are no longer deleted
    Ref<TGLContextDriver> context_driver;  // the plain driver contexts come from; Null: the GLX one
    bool batching = true;                  // false: every primitive goes out at once through glBegin/glEnd
    float line_width = 1.0f;               // the last GLSetLineWidth; a change ends the run
    TGLRun run;                            // vertices not yet drawn
    bool color_pending = false;            // batching: colour bytes not yet handed to glColor4ubv
    Ref<TObject> target;                   // the frame drawn into; Null: the current graphics
    GLuint target_name = 0;                // its texture
    int target_width = 0, target_height = 0;  // the image's size inside that texture
    GLuint target_fbo = 0;                 // its framebuffer object; 0 in the fallback
    GLint target_previous_fbo = 0;         // the framebuffer bound before (the offscreen driver's own)
    std::vector<uint8_t> target_saved;     // fallback: the back-buffer pixels under the target
    bool framebuffers_off = false;         // tests: take the fallback even where FBOs exist
    int virtual_w = 0, virtual_h = 0;      // the window's virtual resolution; 0, 0: window pixels
    int picture[4] = {0, 0, 0, 0};         // where it is shown: x, y (from the top), width, height
    int viewport[4] = {0, 0, 0, 0};        // the window's last SetViewport, in virtual units
    float cls_color[3] = {0, 0, 0};        // the last GLSetClsColor, 0..1

    void Reset();  // back to the start-up values, keeping the function override
};
// Inline: the vertex paths reach it several times per quad.
inline TGLZeph2DModule& GLZeph2DModule() {
    static TGLZeph2DModule module;
    return module;
}

}  // namespace corvex

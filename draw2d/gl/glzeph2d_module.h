// The OpenGL 2D back end's state: GL state caches shared by every context, the call layer.
// In-tree code only.
#pragma once

#include "draw2d/gl/glfuncs.h"
#include <corvex/graphics/gl_context_driver.h>

namespace corvex {

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

    void Reset();  // back to the start-up values, keeping the function override
};
TGLZeph2DModule& GLZeph2DModule();

}  // namespace corvex

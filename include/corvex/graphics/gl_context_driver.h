// Plain OpenGL graphics drivers: drivers whose contexts are OpenGL contexts sharing their
// textures with one hidden context. The OpenGL 2D back end draws over whichever one the program
// chose (the GLX driver unless told otherwise).
#pragma once

#include <functional>

#include <corvex/graphics/graphics.h>

namespace corvex {

// A graphics driver whose contexts are OpenGL contexts sharing textures with one hidden context.
class TGLContextDriver : public TGraphicsDriver {
public:
    // Makes the shared texture context current when it is not; when it is, makes the current
    // graphics' context current again (or none).
    virtual void SwapSharedContext() = 0;
};

// The back end drawing over these drivers may hold drawing not yet handed to OpenGL; it registers
// how to hand it over, and a driver that presents or reads what has been drawn so far calls it.
void SetGLPendingDrawingFlush(std::function<void()> flush);  // Null: nothing is ever pending
void FlushPendingGLDrawing();  // hands over the pending drawing into the current context, if any

}  // namespace corvex

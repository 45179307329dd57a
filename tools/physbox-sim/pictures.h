// Pictures of a run: the sandbox's own frame code draws every frame into an offscreen buffer of
// the game's size, and the presented frames are read back and written as PNG files.
#pragma once

#include <cstdint>
#include <string>

#include "game/sandbox.h"
#include <corvex/graphics/egl_graphics.h>
#include <corvex/pixmap/pixmap.h>

namespace corvex {

class RunPictures {
public:
    // Starts the drawing modules, chooses the plain GL driver under the 2D back end (the
    // offscreen one unless told otherwise), opens the game's 800 x 600 graphics and builds the
    // scene with bodyImage. False, with error set, when nothing can be drawn. The random seed
    // must be set before, as for a run without pictures.
    bool Open(const TString& bodyImage, std::string& error, Ref<TGLContextDriver> driver = nullptr);
    World& world() { return _sandbox.world; }
    // One frame as the game draws it (clear, simulate and draw, overlay, flip), without the
    // timer's wait: the overlay reads simulated time at the game's 30 frames a second.
    void Frame();
    Ref<TPixmap> Presented();  // the last flipped frame, row 0 at the top; Null in a window
    // Writes the last flipped frame as an RGB PNG; false with error set when it cannot.
    bool Write(const std::string& path, std::string& error);
    void Close();

    static int32_t SimulatedMillis();  // 1000 / 30 ms a frame, as whole milliseconds

private:
    Sandbox _sandbox;
    Ref<TEGLGraphics> _graphics;
};

}  // namespace corvex

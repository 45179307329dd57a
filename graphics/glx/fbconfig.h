// Choosing the GLX frame-buffer configuration for a set of graphics flags.
#pragma once

#include <GL/glx.h>

#include <cstdint>
#include <vector>

namespace corvex::glx {

// What matters of one configuration when choosing.
struct TConfigTraits {
    int visualDepth = 0;  // depth of its X visual
    unsigned long visualId = 0;
    int red = 0, green = 0, blue = 0, alpha = 0;
    int depth = 0, stencil = 0, accum = 0;  // accum: the sum of the accumulation channels
    bool doubleBuffer = false;
    int samples = 0;
};

// Index of the best configuration for flags, or -1 when none has what they ask for.
// Requested buffers are minimums (any size will do, the larger the better up to 24 bits);
// buffers not asked for are best absent; colour should match the screen depth, so that the
// window is not translucent under a compositor unless destination alpha was asked for.
// requiredVisual, when not 0, admits only configurations of that X visual.
int ChooseConfig(const std::vector<TConfigTraits>& configs, int32_t flags, int screenDepth,
                 unsigned long requiredVisual = 0);

// The configuration of the display's default screen for flags; nullptr when none fits.
GLXFBConfig FindFBConfig(Display* display, int32_t flags, unsigned long requiredVisual = 0);

}  // namespace corvex::glx

#include "graphics/glx/fbconfig.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>

#include <corvex/graphics/graphics.h>

namespace corvex::glx {
namespace {

bool Admits(const TConfigTraits& c, int32_t flags, unsigned long requiredVisual) {
    if (requiredVisual && c.visualId != requiredVisual) return false;
    if (c.red < 1 || c.green < 1 || c.blue < 1) return false;
    if ((flags & GFX_DOUBLE_BUFFER) && !c.doubleBuffer) return false;
    if ((flags & GFX_ALPHA_BITS) && c.alpha < 1) return false;
    if ((flags & GFX_DEPTH_BUFFER) && c.depth < 1) return false;
    if ((flags & GFX_STENCIL_BUFFER) && c.stencil < 1) return false;
    if ((flags & GFX_ACCUM_BUFFER) && c.accum < 1) return false;
    return true;
}

// Lower is better; compared lexicographically.
std::vector<int> Cost(const TConfigTraits& c, int32_t flags, int screenDepth) {
    const auto buffer = [](bool wanted, int bits) { return wanted ? std::max(0, 24 - bits) : bits; };
    return {
        c.visualDepth == screenDepth ? 0 : 1,                        // a plain window of the screen's kind
        c.doubleBuffer == ((flags & GFX_DOUBLE_BUFFER) != 0) ? 0 : 1,  // single-buffered unless asked
        c.samples,                                                   // no multisampling
        buffer(flags & GFX_DEPTH_BUFFER, c.depth),
        buffer(flags & GFX_STENCIL_BUFFER, c.stencil),
        (flags & GFX_ACCUM_BUFFER) ? 0 : c.accum,
        (flags & GFX_ALPHA_BITS) ? 0 : c.alpha,
        std::abs(c.red + c.green + c.blue - 24),                     // true colour
    };
}

}  // namespace

int ChooseConfig(const std::vector<TConfigTraits>& configs, int32_t flags, int screenDepth,
                 unsigned long requiredVisual) {
    int best = -1;
    std::vector<int> bestCost;
    for (size_t i = 0; i < configs.size(); ++i) {
        if (!Admits(configs[i], flags, requiredVisual)) continue;
        std::vector<int> cost = Cost(configs[i], flags, screenDepth);
        if (best < 0 || cost < bestCost) {
            best = static_cast<int>(i);
            bestCost = std::move(cost);
        }
    }
    return best;
}

GLXFBConfig FindFBConfig(Display* display, int32_t flags, unsigned long requiredVisual) {
    const int screen = DefaultScreen(display);
    const int attributes[] = {GLX_X_RENDERABLE, True, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE,
                              GLX_RGBA_BIT, GLX_X_VISUAL_TYPE, GLX_TRUE_COLOR, None};
    int count = 0;
    GLXFBConfig* list = glXChooseFBConfig(display, screen, attributes, &count);
    if (!list) return nullptr;
    std::vector<TConfigTraits> traits(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        TConfigTraits& t = traits[static_cast<size_t>(i)];
        const auto get = [&](int attribute) {
            int value = 0;
            glXGetFBConfigAttrib(display, list[i], attribute, &value);
            return value;
        };
        if (XVisualInfo* visual = glXGetVisualFromFBConfig(display, list[i])) {
            t.visualDepth = visual->depth;
            t.visualId = visual->visualid;
            XFree(visual);
        } else {
            continue;  // no visual: red stays 0, never admitted
        }
        t.red = get(GLX_RED_SIZE);
        t.green = get(GLX_GREEN_SIZE);
        t.blue = get(GLX_BLUE_SIZE);
        t.alpha = get(GLX_ALPHA_SIZE);
        t.depth = get(GLX_DEPTH_SIZE);
        t.stencil = get(GLX_STENCIL_SIZE);
        t.accum = get(GLX_ACCUM_RED_SIZE) + get(GLX_ACCUM_GREEN_SIZE) + get(GLX_ACCUM_BLUE_SIZE) +
                  get(GLX_ACCUM_ALPHA_SIZE);
        t.doubleBuffer = get(GLX_DOUBLEBUFFER) != 0;
        t.samples = get(GLX_SAMPLES);
    }
    const int chosen = ChooseConfig(traits, flags, DefaultDepth(display, screen), requiredVisual);
    GLXFBConfig config = chosen >= 0 ? list[chosen] : nullptr;
    XFree(list);
    return config;
}

}  // namespace corvex::glx

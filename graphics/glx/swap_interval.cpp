#include "graphics/glx/swap_interval.h"

#include <GL/glx.h>

#include <cstring>
#include <initializer_list>

namespace corvex::glx {
namespace {

// Whether the space-separated extension list names extension exactly.
bool Lists(const char* extensions, const char* extension) {
    if (!extensions) return false;
    const size_t length = std::strlen(extension);
    for (const char* p = extensions; (p = std::strstr(p, extension)) != nullptr; p += length) {
        const bool starts = p == extensions || p[-1] == ' ';
        const bool ends = p[length] == ' ' || p[length] == '\0';
        if (starts && ends) return true;
    }
    return false;
}

}  // namespace

const char* SwapIntervalExtension(Display* display) {
    // glXGetProcAddress answers for any name, so the extension list decides.
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    for (const char* name : {"GLX_EXT_swap_control", "GLX_MESA_swap_control", "GLX_SGI_swap_control"}) {
        if (Lists(extensions, name)) return name;
    }
    return "";
}

namespace {

using TSwapEXT = void (*)(Display*, GLXDrawable, int);

void* Address(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddress(reinterpret_cast<const GLubyte*>(name)));
}

// The extensions that act on whatever drawable is current.
bool SetCurrentInterval(const char* extension, int32_t interval) {
    if (std::strcmp(extension, "GLX_MESA_swap_control") == 0) {
        using TSwapMESA = int (*)(unsigned);
        if (auto set = reinterpret_cast<TSwapMESA>(Address("glXSwapIntervalMESA"))) {
            return set(static_cast<unsigned>(interval)) == 0;
        }
    } else if (std::strcmp(extension, "GLX_SGI_swap_control") == 0) {
        using TSwapSGI = int (*)(int);
        if (auto set = reinterpret_cast<TSwapSGI>(Address("glXSwapIntervalSGI")); set && interval > 0) {
            return set(interval) == 0;
        }
    }
    return false;
}

bool SetNamedInterval(Display* display, GLXDrawable drawable, int32_t interval) {
    auto set = reinterpret_cast<TSwapEXT>(Address("glXSwapIntervalEXT"));
    if (!set) return false;
    set(display, drawable, interval);
    return true;
}

}  // namespace

bool SetSwapInterval(Display* display, int32_t interval) {
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!drawable) return false;
    const char* extension = SwapIntervalExtension(display);
    if (std::strcmp(extension, "GLX_EXT_swap_control") == 0) return SetNamedInterval(display, drawable, interval);
    return SetCurrentInterval(extension, interval);
}

bool SetSwapInterval(Display* display, GLXDrawable drawable, GLXContext context, int32_t interval) {
    if (!drawable) return false;
    const char* extension = SwapIntervalExtension(display);
    if (std::strcmp(extension, "GLX_EXT_swap_control") == 0) return SetNamedInterval(display, drawable, interval);
    if (glXGetCurrentDrawable() == drawable) return SetCurrentInterval(extension, interval);
    if (!context || !*extension) return false;
    Display* previousDisplay = glXGetCurrentDisplay();
    const GLXDrawable previousDrawable = glXGetCurrentDrawable();
    const GLXDrawable previousRead = glXGetCurrentReadDrawable();
    const GLXContext previousContext = glXGetCurrentContext();
    if (!glXMakeCurrent(display, drawable, context)) return false;
    const bool done = SetCurrentInterval(extension, interval);
    if (previousContext) {
        glXMakeContextCurrent(previousDisplay ? previousDisplay : display, previousDrawable, previousRead,
                              previousContext);
    } else {
        glXMakeCurrent(display, None, nullptr);
    }
    return done;
}

}  // namespace corvex::glx

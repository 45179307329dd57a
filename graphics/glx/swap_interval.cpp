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

bool SetSwapInterval(Display* display, int32_t interval) {
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!drawable) return false;
    const char* extension = SwapIntervalExtension(display);
    const auto address = [](const char* name) {
        return glXGetProcAddress(reinterpret_cast<const GLubyte*>(name));
    };
    if (std::strcmp(extension, "GLX_EXT_swap_control") == 0) {
        using TSwapEXT = void (*)(Display*, GLXDrawable, int);
        if (auto set = reinterpret_cast<TSwapEXT>(address("glXSwapIntervalEXT"))) {
            set(display, drawable, interval);
            return true;
        }
    } else if (std::strcmp(extension, "GLX_MESA_swap_control") == 0) {
        using TSwapMESA = int (*)(unsigned);
        if (auto set = reinterpret_cast<TSwapMESA>(address("glXSwapIntervalMESA"))) {
            return set(static_cast<unsigned>(interval)) == 0;
        }
    } else if (std::strcmp(extension, "GLX_SGI_swap_control") == 0) {
        using TSwapSGI = int (*)(int);
        if (auto set = reinterpret_cast<TSwapSGI>(address("glXSwapIntervalSGI")); set && interval > 0) {
            return set(interval) == 0;
        }
    }
    return false;
}

}  // namespace corvex::glx

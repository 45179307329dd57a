#include "graphics/glx/window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>

#include "graphics/pacer.h"
#include <corvex/system/clock.h>
#include "system/x11/display.h"

namespace corvex::glx {

Window CreateTopLevelWindow(Display* display, const XVisualInfo& visual, int32_t x, int32_t y, int32_t width,
                            int32_t height, const std::string& title, bool fullScreen, bool resizable) {
    if (width <= 0 || height <= 0) return 0;
    const Window root = RootWindow(display, visual.screen);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display, root, visual.visual, AllocNone);
    attributes.background_pixmap = None;  // nothing painted behind the GL surface
    attributes.border_pixel = 0;
    Window window = 0;
    {
        x11::TX11ErrorTrap trap;
        window = XCreateWindow(display, root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                               visual.depth, InputOutput, visual.visual,
                               CWColormap | CWBackPixmap | CWBorderPixel, &attributes);
        if (trap.Failed()) window = 0;
    }
    XFreeColormap(display, attributes.colormap);  // the window keeps its own reference
    if (!window) return 0;

    // Fixed size (unless resizable) at the requested place; static gravity asks the window
    // manager to put its frame around the client area rather than the frame's corner at (x, y).
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = USPosition | PPosition | USSize | PSize | PWinGravity;
    if (!resizable) hints->flags |= PMinSize | PMaxSize;
    hints->win_gravity = StaticGravity;
    hints->x = x;
    hints->y = y;
    hints->width = hints->min_width = hints->max_width = width;
    hints->height = hints->min_height = hints->max_height = height;
    XSetWMNormalHints(display, window, hints);
    XFree(hints);

    // Title as WM_NAME (Latin-1 where it can be) and _NET_WM_NAME (UTF-8).
    XTextProperty name{};
    char* text = const_cast<char*>(title.c_str());
    if (Xutf8TextListToTextProperty(display, &text, 1, XStdICCTextStyle, &name) >= Success) {
        XSetWMName(display, window, &name);
        XSetWMIconName(display, window, &name);
        XFree(name.value);
    }
    const x11::TX11Atoms& atoms = x11::X11Atoms();
    XChangeProperty(display, window, atoms.netWmName, atoms.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));

    XClassHint* classHint = XAllocClassHint();
    classHint->res_name = const_cast<char*>(WINDOW_CLASS);
    classHint->res_class = const_cast<char*>(WINDOW_CLASS);
    XSetClassHint(display, window, classHint);
    XFree(classHint);

    if (fullScreen) {
        const Atom state = atoms.netWmStateFullscreen;
        XChangeProperty(display, window, atoms.netWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&state), 1);
    }
    return window;
}

void MapAndWait(Display* display, Window window) {
    XMapRaised(display, window);
    XFlush(display);
    const int32_t deadline = MillisAdd(CurrentMillis(), 2000);
    XEvent event;
    for (;;) {
        if (XCheckTypedWindowEvent(display, window, MapNotify, &event)) return;
        const int32_t left = MillisBetween(CurrentMillis(), deadline);
        if (left <= 0) return;
        pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, left);
    }
}

Window CreateHiddenWindow(Display* display, const XVisualInfo& visual) {
    const Window root = RootWindow(display, visual.screen);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display, root, visual.visual, AllocNone);
    attributes.border_pixel = 0;
    Window window = 0;
    {
        x11::TX11ErrorTrap trap;
        window = XCreateWindow(display, root, 0, 0, 1, 1, 0, visual.depth, InputOutput, visual.visual,
                               CWColormap | CWBorderPixel, &attributes);
        if (trap.Failed()) window = 0;
    }
    XFreeColormap(display, attributes.colormap);
    return window;
}

}  // namespace corvex::glx

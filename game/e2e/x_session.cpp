#include "game/e2e/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>
#include <string>

namespace e2e {
namespace {

// Depth-first search below window for a viewable window with the given title.
Window FindBelow(Display* d, Window window, const std::string& title, const XSession& session) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(d, window, &attributes) && attributes.map_state == IsViewable &&
        session.WindowTitle(window) == title) {
        return window;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, window, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) found = FindBelow(d, children[i], title, session);
    if (children) XFree(children);
    return found;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }  // windows may vanish while we look

}  // namespace

XSession::XSession() {
    _display = XOpenDisplay(nullptr);
    if (!_display) throw std::runtime_error("cannot open the X display named by DISPLAY");
    int event, error, major, minor;
    if (!XTestQueryExtension(_display, &event, &error, &major, &minor)) {
        XCloseDisplay(_display);
        throw std::runtime_error("the X server has no XTEST extension");
    }
    XSetErrorHandler(IgnoreErrors);
}

XSession::~XSession() { XCloseDisplay(_display); }

unsigned long XSession::FindViewableWindow(const std::string& title) const {
    return FindBelow(_display, DefaultRootWindow(_display), title, *this);
}

std::string XSession::WindowTitle(unsigned long window) const {
    Atom netName = XInternAtom(_display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(_display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(_display, window, netName, 0, 1024, False, utf8, &type, &format, &items, &after,
                           &data) == Success &&
        data) {
        if (type == utf8 && format == 8) title.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(_display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

namespace {

// Wine draws a Windows window's frame itself and puts the client area in a child X window; that
// child is what a Windows program draws into. Wine names the window's class after the program.
Window WineClientWindow(Display* display, Window window) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) return 0;
    const std::string name = hint.res_name ? hint.res_name : "";
    const bool wine = name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (!wine) return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
    Window client = 0;
    long largest = 0;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
            static_cast<long>(a.width) * a.height > largest) {
            largest = static_cast<long>(a.width) * a.height;
            client = children[i];
        }
    }
    if (children) XFree(children);
    return client;
}

}  // namespace

Rect XSession::ClientArea(unsigned long window) const {
    if (Window client = WineClientWindow(_display, window)) window = client;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(_display, window, &attributes)) return {};
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(_display, window, DefaultRootWindow(_display), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

void XSession::Focus(unsigned long window) const {
    XSetInputFocus(_display, window, RevertToPointerRoot, CurrentTime);
    XSync(_display, False);
}

void XSession::RequestClose(unsigned long window) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(_display, window, False, NoEventMask, &event);
    XSync(_display, False);
}

Screenshot XSession::Grab(const Rect& area) const {
    Screenshot shot;
    XImage* image = XGetImage(_display, DefaultRootWindow(_display), area.x, area.y, area.width, area.height,
                              AllPlanes, ZPixmap);
    if (!image) return shot;
    shot.width = area.width;
    shot.height = area.height;
    shot.rgb.resize(static_cast<size_t>(area.width) * area.height);
    auto shiftOf = [](unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return shift;
    };
    const int rs = shiftOf(image->red_mask), gs = shiftOf(image->green_mask), bs = shiftOf(image->blue_mask);
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            uint32_t r = (p & image->red_mask) >> rs, g = (p & image->green_mask) >> gs,
                     b = (p & image->blue_mask) >> bs;
            shot.rgb[static_cast<size_t>(y) * area.width + x] = (r << 16) | (g << 8) | b;
        }
    }
    XDestroyImage(image);
    return shot;
}

unsigned XSession::KeyCodeOf(const std::string& key) const {
    KeySym sym = XStringToKeysym(key.c_str());
    if (sym == NoSymbol) throw std::invalid_argument("unknown key name " + key);
    unsigned code = XKeysymToKeycode(_display, sym);
    if (!code) throw std::runtime_error("no key code for " + key);
    return code;
}

void XSession::KeyDown(const std::string& key) const {
    XTestFakeKeyEvent(_display, KeyCodeOf(key), True, CurrentTime);
    XSync(_display, False);
}

void XSession::KeyUp(const std::string& key) const {
    XTestFakeKeyEvent(_display, KeyCodeOf(key), False, CurrentTime);
    XSync(_display, False);
}

void XSession::TapKey(const std::string& key) const {
    KeyDown(key);
    KeyUp(key);
}

void XSession::MovePointer(int rootX, int rootY) const {
    XTestFakeMotionEvent(_display, DefaultScreen(_display), rootX, rootY, CurrentTime);
    XSync(_display, False);
}

void XSession::Button(int button, bool down) const {
    XTestFakeButtonEvent(_display, static_cast<unsigned>(button), down ? True : False, CurrentTime);
    XSync(_display, False);
}

}  // namespace e2e

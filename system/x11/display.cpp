#include "system/x11/display.h"

#include <X11/XKBlib.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "system/x11/x11_driver.h"

namespace corvex::x11 {
namespace {

struct TConnection {
    Display* display = nullptr;
    bool tried = false;
    TX11Atoms atoms;
    XIM inputMethod = nullptr;
};

TConnection& Connection() {
    static TConnection connection;
    return connection;
}

TX11ErrorTrap* activeTrap = nullptr;

// Unexpected errors are reported and survived: the default handler would end the process.
int ReportError(Display* display, XErrorEvent* error) {
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "Corvex: X error: %s (request %d.%d)\n", text, error->request_code, error->minor_code);
    return 0;
}

void Open() {
    TConnection& c = Connection();
    if (c.tried) return;
    c.tried = true;
    c.display = XOpenDisplay(nullptr);
    if (!c.display) return;
    XSetErrorHandler(ReportError);

    // A held key repeats as presses alone, so a press of a key already down is a repeat.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(c.display, True, &supported);

    const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_NAME", "UTF8_STRING",
                           "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"};
    Atom atoms[6] = {};
    XInternAtoms(c.display, const_cast<char**>(names), 6, False, atoms);
    c.atoms = {atoms[0], atoms[1], atoms[2], atoms[3], atoms[4], atoms[5]};

    // The input method turns key presses into text in the user's locale; without one,
    // Xutf8LookupString still works through the plain key map.
    if (!std::setlocale(LC_CTYPE, nullptr) || std::string(std::setlocale(LC_CTYPE, nullptr)) == "C") {
        std::setlocale(LC_CTYPE, "");
    }
    if (XSupportsLocale()) {
        XSetLocaleModifiers("");
        c.inputMethod = XOpenIM(c.display, nullptr, nullptr, nullptr);
        if (!c.inputMethod) {
            XSetLocaleModifiers("@im=none");
            c.inputMethod = XOpenIM(c.display, nullptr, nullptr, nullptr);
        }
    }
    InstallX11SystemDriver();
}

}  // namespace

int TrapError(Display*, XErrorEvent* error) {
    if (activeTrap && activeTrap->_code == 0) activeTrap->_code = error->error_code;
    return 0;
}

Display* X11Display() {
    Open();
    if (!Connection().display) {
        const char* name = std::getenv("DISPLAY");
        FatalNativeError(std::string("cannot open the X display \"") + (name ? name : "") +
                             "\" (is DISPLAY set and the X server running?)",
                         -1);
    }
    return Connection().display;
}

Display* X11DisplayIfOpen() { return Connection().display; }

bool X11DisplayAvailable() {
    Open();
    return Connection().display != nullptr;
}

void FatalNativeError(const std::string& cause, int code) {
    std::fprintf(stderr, "Corvex: %s\n", cause.c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    std::exit(code);
}

const TX11Atoms& X11Atoms() {
    X11Display();
    return Connection().atoms;
}

XIM X11InputMethod() {
    X11Display();
    return Connection().inputMethod;
}

TX11ErrorTrap::TX11ErrorTrap() : _outer(activeTrap) {
    XSync(X11Display(), False);
    activeTrap = this;
    XSetErrorHandler(TrapError);
}

TX11ErrorTrap::~TX11ErrorTrap() {
    XSync(X11Display(), False);
    activeTrap = _outer;
    if (!activeTrap) XSetErrorHandler(ReportError);
}

bool TX11ErrorTrap::Failed() {
    XSync(X11Display(), False);
    return _code != 0;
}

}  // namespace corvex::x11

// The process's one connection to the X server, its atoms, its input method, and X errors.
// Only system/x11/ and graphics/glx/ include this header.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>

namespace corvex::x11 {

// --- The connection ---------------------------------------------------------------------------
Display* X11Display();         // opens on first use; without a display the process ends (exit -1)
Display* X11DisplayIfOpen();   // nullptr until X11Display() has opened it
bool X11DisplayAvailable();    // whether $DISPLAY can be opened (opens it when it can)

// Ends the process with exit code code after one line "Corvex: <cause>" on standard error.
[[noreturn]] void FatalNativeError(const std::string& cause, int code);

// --- Atoms ------------------------------------------------------------------------------------
struct TX11Atoms {
    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    Atom netWmName = 0;
    Atom utf8String = 0;
    Atom netWmState = 0;
    Atom netWmStateFullscreen = 0;
};
const TX11Atoms& X11Atoms();   // interned when the display opens

// --- Text input ---------------------------------------------------------------------------------
XIM X11InputMethod();          // the input method, or nullptr when none could be opened

// --- Errors -------------------------------------------------------------------------------------
// Catches the X errors of the requests made while it lives (they would otherwise be printed);
// Failed() syncs with the server and tells whether one arrived.
class TX11ErrorTrap {
public:
    TX11ErrorTrap();
    ~TX11ErrorTrap();
    TX11ErrorTrap(const TX11ErrorTrap&) = delete;
    TX11ErrorTrap& operator=(const TX11ErrorTrap&) = delete;
    bool Failed();
    unsigned char ErrorCode() const { return _code; }

private:
    friend int TrapError(Display*, XErrorEvent*);
    TX11ErrorTrap* _outer;
    unsigned char _code = 0;
};

}  // namespace corvex::x11

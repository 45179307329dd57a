#include "system/x11/input.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <string>

#include <corvex/runtime/string.h>
#include <corvex/system/event.h>
#include "system/x11/display.h"
#include "system/x11/keysyms.h"
#include "system/x11/x11_input_module.h"

namespace corvex::x11 {
namespace {

void Emit(int32_t id, int32_t data, int32_t mods, int32_t x, int32_t y) {
    TEvent::Create(id, nullptr, data, mods, x, y, nullptr)->Emit();
}

// Bit of a modifier key in heldModifiers, -1 for other keys.
int ModifierBit(int32_t vk) {
    if (vk >= 160 && vk <= 165) return vk - 160;
    if (vk == 91) return 6;
    if (vk == 92) return 7;
    return -1;
}

// Rebuilds the held modifier keys from the keyboard itself, for when keys may have changed
// while another application had the focus.
void ReadHeldModifiers(Display* display) {
    char keys[32] = {};
    XQueryKeymap(display, keys);
    static const KeySym modifierKeysyms[] = {XK_Shift_L, XK_Shift_R, XK_Control_L, XK_Control_R,
                                             XK_Alt_L,   XK_Alt_R,   XK_Super_L,   XK_Super_R};
    uint32_t held = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const KeyCode code = XKeysymToKeycode(display, modifierKeysyms[bit]);
        if (code && (keys[code >> 3] & (1 << (code & 7)))) held |= 1u << bit;
    }
    X11InputModule().heldModifiers = held;
}

unsigned NumLockMask(Display* display) {
    static unsigned mask = XkbKeysymToModifiers(display, XK_Num_Lock);
    return mask;
}

// The cursor shows when the program wants it or the pointer is outside our windows.
void UpdateCursor() {
    TX11InputModule& s = X11InputModule();
    Display* display = X11DisplayIfOpen();
    const bool hide = s.mouseVisible == 0 && s.tracked != 0;
    if (!display || hide == s.cursorHidden) return;
    if (hide && !s.blankCursor) {
        static const char empty[1] = {0};
        const Pixmap pixmap = XCreateBitmapFromData(display, DefaultRootWindow(display), empty, 1, 1);
        XColor black{};
        s.blankCursor = XCreatePixmapCursor(display, pixmap, pixmap, &black, &black, 0, 0);
        XFreePixmap(display, pixmap);
    }
    for (const TX11Window& w : s.windows) {
        if (hide) {
            XDefineCursor(display, w.window, s.blankCursor);
        } else {
            XUndefineCursor(display, w.window);
        }
    }
    XFlush(display);
    s.cursorHidden = hide;
}

// Pointer tracking: the window the pointer is in (0 for none) changes.
void Track(Window window, int32_t x, int32_t y) {
    TX11InputModule& s = X11InputModule();
    if (window == s.tracked) return;
    // Entering and leaving carry no modifiers, unlike every other event.
    if (s.tracked) {
        Emit(EVENT_MOUSELEAVE, 0, 0, x, y);
    }
    s.tracked = window;
    UpdateCursor();
    if (s.tracked) Emit(EVENT_MOUSEENTER, 0, 0, x, y);
}

void EmitText(XKeyEvent& key, XIC inputContext) {
    char buffer[64];
    KeySym keysym = NoSymbol;
    int length = 0;
    std::string text;
    if (inputContext) {
        Status status = 0;
        length = Xutf8LookupString(inputContext, &key, buffer, sizeof buffer - 1, &keysym, &status);
        if (status == XBufferOverflow) {
            text.resize(static_cast<size_t>(length));
            length = Xutf8LookupString(inputContext, &key, text.data(), length, &keysym, &status);
            text.resize(static_cast<size_t>(std::max(length, 0)));
        } else if (status == XLookupChars || status == XLookupBoth) {
            text.assign(buffer, static_cast<size_t>(std::max(length, 0)));
        }
    } else {
        // Without an input method the key map gives Latin-1 text.
        length = XLookupString(&key, buffer, sizeof buffer - 1, &keysym, nullptr);
        for (int i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(buffer[i]);
            if (c < 0x80) {
                text += static_cast<char>(c);
            } else {
                text += static_cast<char>(0xC0 | (c >> 6));
                text += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    if (text.empty()) return;
    // The Delete keys type no character, as on a PC.
    if (text == "\x7f" && (keysym == XK_Delete || keysym == XK_KP_Delete)) return;
    const int32_t mods = X11Modifiers();
    for (char16_t unit : FromUtf8(text)) Emit(EVENT_KEYCHAR, unit, mods, 0, 0);
}

void TranslateKey(XKeyEvent& key, const TX11Window& w) {
    const Window window = w.window;  // w may not outlive the hooks the key event runs
    Display* display = key.display;
    TX11InputModule& s = X11InputModule();
    const unsigned group = XkbGroupForCoreState(key.state);
    const KeySym keysym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(key.keycode), static_cast<int>(group), 0);
    const bool numLock = (key.state & NumLockMask(display)) != 0;
    const int32_t vk = VirtualKeyFor(static_cast<uint32_t>(keysym), key.keycode, numLock);
    const bool press = key.type == KeyPress;
    const unsigned code = key.keycode & 255;
    const bool repeat = press && s.keysDown[code];
    s.keysDown[code] = press;
    if (vk >= 1 && vk <= 255) {
        const int bit = ModifierBit(vk);
        if (bit >= 0) {
            if (press) {
                s.heldModifiers |= 1u << bit;
            } else {
                s.heldModifiers &= ~(1u << bit);
            }
        }
        Emit(press ? (repeat ? EVENT_KEYREPEAT : EVENT_KEYDOWN) : EVENT_KEYUP, vk, X11Modifiers(), 0, 0);
    }
    if (!press) return;
    // A hook may have closed the window (and its input context) or opened another one.
    if (const TX11Window* still = FindX11Window(window)) EmitText(key, still->inputContext);
}

int32_t MoveButtons(unsigned state) {
    if (state & Button3Mask) return 2;  // right
    if (state & Button2Mask) return 4;  // middle: 4 while moving, 3 on the buttons
    if (state & Button1Mask) return 1;  // left
    return 0;
}

int32_t ButtonNumber(unsigned xbutton) {
    switch (xbutton) {
        case Button1: return 1;
        case Button2: return 3;
        case Button3: return 2;
        default: return 0;
    }
}

void GainFocus(TX11Window& w) {
    TX11InputModule& s = X11InputModule();
    s.focused = w.window;
    if (w.inputContext) XSetICFocus(w.inputContext);
    if (!s.appActive) {
        s.appActive = true;
        ReadHeldModifiers(X11Display());
        s.keysDown.fill(false);
        Emit(EVENT_APPRESUME, 0, X11Modifiers(), 0, 0);  // keys held while the focus came back
    }
}

void LoseFocus(TX11Window& w) {
    TX11InputModule& s = X11InputModule();
    if (w.inputContext) XUnsetICFocus(w.inputContext);
    if (s.focused == w.window) s.focused = 0;
    // The application stays active while the focus moves between its own windows.
    Window now = 0;
    int revert = 0;
    XGetInputFocus(X11Display(), &now, &revert);
    if (FindX11Window(now)) return;
    if (s.appActive) {
        // The event carries the keys held as the focus went (Alt of an Alt+Tab, say); after it
        // they are forgotten, since their releases go to another application.
        const int32_t mods = X11Modifiers();
        s.appActive = false;
        s.heldModifiers = 0;
        s.keysDown.fill(false);
        Emit(EVENT_APPSUSPEND, 0, mods, 0, 0);
    }
}

void Translate(XEvent& event, TX11Window& w) {
    switch (event.type) {
        case ClientMessage:
            if (static_cast<Atom>(event.xclient.message_type) == X11Atoms().wmProtocols && event.xclient.format == 32 &&
                static_cast<Atom>(event.xclient.data.l[0]) == X11Atoms().wmDeleteWindow) {
                Emit(EVENT_APPTERMINATE, 0, X11Modifiers(), 0, 0);
            }
            break;
        case FocusIn:
            if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) break;
            if (event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer) break;
            GainFocus(w);
            break;
        case FocusOut:
            if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) break;
            if (event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer) break;
            LoseFocus(w);
            break;
        case KeyPress:
        case KeyRelease:
            TranslateKey(event.xkey, w);
            break;
        case ButtonPress: {
            const XButtonEvent& b = event.xbutton;
            if (b.button == Button4 || b.button == Button5) {
                Emit(EVENT_MOUSEWHEEL, b.button == Button4 ? 1 : -1, X11Modifiers(), b.x, b.y);
            } else if (int32_t button = ButtonNumber(b.button)) {
                Emit(EVENT_MOUSEDOWN, button, X11Modifiers(), b.x, b.y);
            }
            break;
        }
        case ButtonRelease:
            if (int32_t button = ButtonNumber(event.xbutton.button)) {
                Emit(EVENT_MOUSEUP, button, X11Modifiers(), event.xbutton.x, event.xbutton.y);
            }
            break;
        case MotionNotify: {
            const XMotionEvent& m = event.xmotion;
            const bool inside = m.x >= 0 && m.y >= 0 && m.x < w.width && m.y < w.height;
            Track(inside ? w.window : 0, m.x, m.y);
            Emit(EVENT_MOUSEMOVE, MoveButtons(m.state), X11Modifiers(), m.x, m.y);
            break;
        }
        case EnterNotify:
            if (event.xcrossing.mode == NotifyNormal && event.xcrossing.detail != NotifyInferior) {
                Track(w.window, event.xcrossing.x, event.xcrossing.y);
            }
            break;
        case LeaveNotify:
            if (event.xcrossing.mode == NotifyNormal && event.xcrossing.detail != NotifyInferior &&
                X11InputModule().tracked == w.window) {
                Track(0, event.xcrossing.x, event.xcrossing.y);
            }
            break;
        case ConfigureNotify:
            w.width = event.xconfigure.width;
            w.height = event.xconfigure.height;
            break;
        default:
            break;
    }
}

}  // namespace

TX11InputModule& X11InputModule() {
    static TX11InputModule module;
    return module;
}

void TX11InputModule::Reset() {
    keysDown.fill(false);
    heldModifiers = 0;
    tracked = 0;
    focused = 0;
    appActive = false;
    mouseVisible = 1;
    UpdateCursor();
}

int32_t X11Modifiers() {
    const uint32_t held = X11InputModule().heldModifiers;
    int32_t mods = 0;
    if (held & 0x03) mods |= MODIFIER_SHIFT;
    if (held & 0x0C) mods |= MODIFIER_CONTROL;
    if (held & 0x30) mods |= MODIFIER_OPTION;
    if (held & 0xC0) mods |= MODIFIER_SYSTEM;
    return mods;
}

void RegisterX11Window(Window window, TX11WindowClient* client) {
    Display* display = X11Display();
    TX11InputModule& s = X11InputModule();
    if (FindX11Window(window)) return;
    TX11Window w;
    w.window = window;
    w.client = client;
    XWindowAttributes attributes{};
    long mask = OUR_WINDOW_EVENTS;
    if (XGetWindowAttributes(display, window, &attributes)) {
        w.width = attributes.width;
        w.height = attributes.height;
        mask |= attributes.your_event_mask;
    }
    if (XIM im = X11InputMethod()) {
        w.inputContext = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window,
                                   XNFocusWindow, window, nullptr);
        long filter = 0;
        if (w.inputContext && !XGetICValues(w.inputContext, XNFilterEvents, &filter, nullptr)) mask |= filter;
    }
    XSelectInput(display, window, mask);
    Atom protocols[] = {X11Atoms().wmDeleteWindow};
    XSetWMProtocols(display, window, protocols, 1);
    if (s.cursorHidden) XDefineCursor(display, window, s.blankCursor);
    s.windows.push_back(w);
}

void UnregisterX11Window(Window window) {
    TX11InputModule& s = X11InputModule();
    auto it = std::find_if(s.windows.begin(), s.windows.end(), [&](const TX11Window& w) { return w.window == window; });
    if (it == s.windows.end()) return;
    if (it->inputContext) XDestroyIC(it->inputContext);
    s.windows.erase(it);
    if (s.focused == window) s.focused = 0;
    if (s.tracked == window) {
        // The pointer is no longer over one of our windows.
        s.tracked = 0;
        UpdateCursor();
    }
}

TX11Window* FindX11Window(Window window) {
    if (!window) return nullptr;
    for (TX11Window& w : X11InputModule().windows) {
        if (w.window == window) return &w;
    }
    return nullptr;
}

void DispatchX11Event(XEvent& event) {
    TX11Window* w = FindX11Window(event.xany.window);
    if (!w) return;
    const Window window = w->window;
    Translate(event, *w);
    // A hook may have closed the window meanwhile; look it up again.
    if (TX11Window* still = FindX11Window(window); still && still->client) still->client->HandleX11Event(event);
}

void MoveX11Pointer(int32_t x, int32_t y) {
    Display* display = X11DisplayIfOpen();
    if (!display) return;
    TX11InputModule& s = X11InputModule();
    Window target = s.focused;
    if (!target && !s.windows.empty()) target = s.windows.back().window;
    if (!target) target = DefaultRootWindow(display);
    XWarpPointer(display, None, target, 0, 0, 0, 0, x, y);
    XFlush(display);
}

void SetX11MouseVisible(int32_t visible) {
    X11InputModule().mouseVisible = visible;
    UpdateCursor();
}

}  // namespace corvex::x11

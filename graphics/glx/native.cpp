#include "graphics/glx/native.h"

#include <X11/Xutil.h>

#include <algorithm>

#include "graphics/glx/fbconfig.h"
#include "graphics/glx/swap_interval.h"
#include "graphics/glx/window.h"
#include <corvex/graphics/graphics.h>
#include <corvex/runtime/exception.h>
#include <corvex/system/entry.h>
#include "system/x11/display.h"
#include "graphics/glx/glx_module.h"

namespace corvex::glx {
namespace {

// Exit code of a failure to make the shared context. A failure must not read as success, so
// it is -1 like the missing display, not 0.
constexpr int EXIT_NO_SHARED_CONTEXT = -1;

Display* X() { return x11::X11Display(); }

// Flip's interval goes to the current drawable; a full-screen window's goes to that window,
// which need not be current (during its creation another context usually is).
void SetInterval(int32_t interval, const TGLContextRecord* target = nullptr) {
    TGLXModule& s = GLXModule();
    ++s.swapIntervalCalls;
    s.lastSwapInterval = interval;
    if (target) {
        s.lastSwapDrawable = target->window;
        SetSwapInterval(X(), target->window, target->context, interval);
    } else {
        s.lastSwapDrawable = glXGetCurrentDrawable();
        SetSwapInterval(X(), interval);
    }
}

// The display-mode switch a full-screen window makes when it gains the focus.
bool TakeDisplay(TGLContextRecord* record) {
    TGLXModule& s = GLXModule();
    if (s.fullScreen == record) return true;
    bool withRate = false;
    if (record->hertz != 0 && SwitchDisplayMode(X(), record->width, record->height, record->hertz)) {
        withRate = true;
        s.fullScreen = record;
    } else if (SwitchDisplayMode(X(), record->width, record->height, 0)) {
        s.fullScreen = record;
    }
    if (s.fullScreen != record) return false;
    // The display's rate stands in for vertical-blank waits only when it is the one asked for.
    SetInterval(withRate ? 1 : 0, record);
    return true;
}

// Back to the desktop's mode when the full-screen window loses the focus or closes.
void ReleaseDisplay(TGLContextRecord* record, bool minimise) {
    TGLXModule& s = GLXModule();
    if (s.fullScreen != record) return;
    RestoreDisplayMode(X());
    if (minimise) XIconifyWindow(X(), record->window, DefaultScreen(X()));
    SetInterval(0, record);
    s.fullScreen = nullptr;
}

bool CountsAsFocusChange(const XFocusChangeEvent& focus) {
    return focus.mode != NotifyGrab && focus.mode != NotifyUngrab && focus.detail != NotifyInferior &&
           focus.detail != NotifyPointer;
}

GLXContext NewContext(GLXFBConfig config, GLXContext share) {
    x11::TX11ErrorTrap trap;
    GLXContext context = glXCreateNewContext(X(), config, GLX_RGBA_TYPE, share, True);
    if (trap.Failed() && context) {
        glXDestroyContext(X(), context);
        context = nullptr;
    }
    return context;
}

}  // namespace

// Never destroyed: graphics objects that outlive main still find the list when they are dropped.
TGLXModule& GLXModule() {
    static TGLXModule* module = new TGLXModule;
    return *module;
}

void TGLXModule::Reset() {
    rememberedSync = -1;
    swapIntervalCalls = 0;
    lastSwapInterval = -1;
    lastSwapDrawable = 0;
}

bool IsListed(const TGLContextRecord* record) {
    if (!record) return false;
    const auto& list = GLXModule().list;
    return std::any_of(list.begin(), list.end(), [&](const auto& r) { return r.get() == record; });
}

void TGLContextRecord::HandleX11Event(const XEvent& event) {
    if (event.type == FocusIn && CountsAsFocusChange(event.xfocus)) {
        if (kind == KIND_FULLSCREEN && GLXModule().fullScreen != this && !TakeDisplay(this)) {
            throw TRuntimeException("GLGraphicsDriver failed to set display mode");
        }
    } else if (event.type == FocusOut && CountsAsFocusChange(event.xfocus)) {
        ReleaseDisplay(this, true);
    } else if (event.type == ConfigureNotify && kind == KIND_WINDOW && (flags & GFX_RESIZABLE)) {
        // Noted only: the size is taken between frames (TakeNewSize, from Flip).
        newWidth = event.xconfigure.width;
        newHeight = event.xconfigure.height;
        resized = newWidth != width || newHeight != height;
    }
}

void CreateSharedContext() {
    TGLXModule& s = GLXModule();
    if (s.sharedMade) return;
    Display* display = X();  // without a display the process ends here
    int errorBase = 0, eventBase = 0;
    if (!glXQueryExtension(display, &errorBase, &eventBase)) {
        x11::FatalNativeError("the X server offers no OpenGL (GLX extension missing)", EXIT_NO_SHARED_CONTEXT);
    }
    GLXFBConfig config = FindFBConfig(display, 0);
    if (!config) x11::FatalNativeError("no GLX visual matches an RGBA OpenGL window", EXIT_NO_SHARED_CONTEXT);
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
    const Window window = visual ? CreateHiddenWindow(display, *visual) : 0;
    if (visual) XFree(visual);
    if (!window) x11::FatalNativeError("cannot create the hidden window of the OpenGL context", EXIT_NO_SHARED_CONTEXT);
    GLXContext context = NewContext(config, nullptr);
    if (!context) x11::FatalNativeError("cannot create an OpenGL context", EXIT_NO_SHARED_CONTEXT);
    s.shared.kind = KIND_SHARED;
    s.shared.width = s.shared.height = 1;
    s.shared.window = window;
    s.shared.context = context;
    s.shared.config = config;
    s.sharedMade = true;
}

TGLContextRecord* CreateWindowContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    CreateSharedContext();
    Display* display = X();
    TGLXModule& s = GLXModule();
    const bool fullScreen = depth != 0;
    GLXFBConfig config = FindFBConfig(display, flags);
    if (!config) return nullptr;
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
    if (!visual) return nullptr;
    const int32_t at = fullScreen ? 0 : 32;
    const Window window = CreateTopLevelWindow(display, *visual, at, at, width, height, ToUtf8(ApplicationTitle()),
                                               fullScreen, !fullScreen && (flags & GFX_RESIZABLE));
    XFree(visual);
    if (!window) return nullptr;
    GLXContext context = NewContext(config, s.shared.context);
    if (!context) {
        XDestroyWindow(display, window);
        XFlush(display);
        return nullptr;
    }

    auto record = std::make_unique<TGLContextRecord>();
    record->kind = fullScreen ? KIND_FULLSCREEN : KIND_WINDOW;
    Window root = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, bits = 0;
    XGetGeometry(display, window, &root, &x, &y, &w, &h, &border, &bits);
    record->width = static_cast<int32_t>(w);
    record->height = static_cast<int32_t>(h);
    record->depth = fullScreen ? depth : 0;
    record->hertz = hertz;
    record->flags = flags;
    record->window = window;
    record->context = context;
    record->config = config;
    TGLContextRecord* raw = record.get();
    s.list.insert(s.list.begin(), std::move(record));
    x11::RegisterX11Window(window, raw);
    MapAndWait(display, window);

    if (fullScreen) {
        // The mode switch a focused full-screen window makes, done at once so that a failure is
        // reported by this call; the window does not outlive the failure.
        {
            x11::TX11ErrorTrap trap;
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
        }
        if (!TakeDisplay(raw)) {
            CloseContext(raw);
            throw TRuntimeException("GLGraphicsDriver failed to set display mode");
        }
    }
    return raw;
}

TGLContextRecord* AttachContext(Window window, int32_t flags) {
    CreateSharedContext();
    Display* display = X();
    XWindowAttributes attributes{};
    {
        x11::TX11ErrorTrap trap;
        if (!XGetWindowAttributes(display, window, &attributes) || trap.Failed()) return nullptr;
    }
    // The window's visual is fixed: only a configuration of that visual can draw into it.
    GLXFBConfig config = FindFBConfig(display, flags, XVisualIDFromVisual(attributes.visual));
    if (!config) return nullptr;
    GLXContext context = NewContext(config, GLXModule().shared.context);
    if (!context) return nullptr;
    auto record = std::make_unique<TGLContextRecord>();
    record->kind = KIND_ATTACHED;
    record->width = attributes.width;
    record->height = attributes.height;
    record->flags = flags;
    record->window = window;
    record->context = context;
    record->config = config;
    TGLContextRecord* raw = record.get();
    GLXModule().list.insert(GLXModule().list.begin(), std::move(record));
    return raw;
}

void GetSettings(TGLContextRecord* record, int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz,
                 int32_t* flags) {
    if (record->kind == KIND_ATTACHED) {
        // Someone else's window may have changed size.
        x11::TX11ErrorTrap trap;
        Window root = 0;
        int x = 0, y = 0;
        unsigned w = 0, h = 0, border = 0, bits = 0;
        if (XGetGeometry(X(), record->window, &root, &x, &y, &w, &h, &border, &bits) && !trap.Failed()) {
            record->width = static_cast<int32_t>(w);
            record->height = static_cast<int32_t>(h);
        }
    }
    *width = record->width;
    *height = record->height;
    *depth = record->depth;
    *hertz = record->hertz;
    *flags = record->flags;
}

void MakeCurrent(TGLContextRecord* record) {
    TGLXModule& s = GLXModule();
    Display* display = x11::X11DisplayIfOpen();
    // The remembered context is checked against GLX's own answer: the program or another library
    // may have made another one current since.
    if (record == s.current && (!display || glXGetCurrentContext() == (record ? record->context : nullptr))) return;
    s.current = record;
    if (!display) return;
    if (record) {
        glXMakeCurrent(display, record->window, record->context);
    } else {
        glXMakeCurrent(display, None, nullptr);
    }
}

void CloseContext(TGLContextRecord* record) {
    TGLXModule& s = GLXModule();
    if (!IsListed(record)) return;
    if (s.current == record) MakeCurrent(nullptr);
    Display* display = X();
    ReleaseDisplay(record, false);  // while its context still exists
    glXDestroyContext(display, record->context);
    if (record->kind == KIND_WINDOW || record->kind == KIND_FULLSCREEN) {
        x11::UnregisterX11Window(record->window);
        XDestroyWindow(display, record->window);
        XFlush(display);
    }
    auto& list = s.list;
    list.erase(std::find_if(list.begin(), list.end(), [&](const auto& r) { return r.get() == record; }));
}

void DropContext(TGLContextRecord* record) {
    TGLXModule& s = GLXModule();
    if (!IsListed(record)) return;
    if (x11::X11DisplayIfOpen()) {
        CloseContext(record);
        return;
    }
    // The display connection is closed, and its windows and contexts went with it.
    if (s.current == record) s.current = nullptr;
    if (s.fullScreen == record) s.fullScreen = nullptr;
    auto& list = s.list;
    list.erase(std::find_if(list.begin(), list.end(), [&](const auto& r) { return r.get() == record; }));
}

void FlipCurrent(int32_t sync) {
    TGLXModule& s = GLXModule();
    if (!s.current) return;
    const int32_t wanted = sync != 0 ? 1 : 0;
    if (wanted != s.rememberedSync) {
        s.rememberedSync = wanted;
        SetInterval(wanted);
    }
    glXSwapBuffers(X(), s.current->window);
}

void SwapShared() {
    CreateSharedContext();
    TGLXModule& s = GLXModule();
    Display* display = X();
    if (glXGetCurrentContext() != s.shared.context) {
        glXMakeCurrent(display, s.shared.window, s.shared.context);
    } else if (s.current) {
        glXMakeCurrent(display, s.current->window, s.current->context);
    } else {
        glXMakeCurrent(display, None, nullptr);
    }
}

std::vector<TDisplayMode> EnumerateModes() { return ListDisplayModes(X(), 1024); }

void* ProcAddress(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddress(reinterpret_cast<const GLubyte*>(name)));
}

}  // namespace corvex::glx

#include "graphics/wgl/native.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <corvex/graphics/graphics.h>
#include <corvex/runtime/exception.h>
#include <corvex/system/entry.h>
#include "graphics/wgl/wgl_module.h"
#include "system/win32/messages.h"
#include "system/win32/win32_driver.h"

namespace corvex::wgl {
namespace {

// A failed start of the native window layer ends the process at once, never as a success.
[[noreturn]] void FatalNativeError(const char* cause) {
    std::fprintf(stderr, "Corvex: %s\n", cause);
    std::fflush(stderr);
    std::_Exit(-1);
}

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// The interval for Flip goes to the current context. A full-screen window's goes to its own
// context, which need not be current (while it is made another usually is): it is made current
// for the call and the previous binding put back.
void SetInterval(int32_t interval, const TGLContextRecord* target = nullptr) {
    TWGLModule& s = WGLModule();
    ++s.swapIntervalCalls;
    s.lastSwapInterval = interval;
    if (!target || wglGetCurrentContext() == target->context) {
        SetSwapInterval(interval);
        return;
    }
    HDC previousDc = wglGetCurrentDC();
    HGLRC previous = wglGetCurrentContext();
    if (wglMakeCurrent(target->dc, target->context)) {
        SetSwapInterval(interval);
        wglMakeCurrent(previous ? previousDc : nullptr, previous);
    }
}

// The display-mode switch a full-screen window makes when it gains the focus: with the refresh
// rate asked for, else without one.
bool TakeDisplay(TGLContextRecord* record) {
    TWGLModule& s = WGLModule();
    if (s.fullScreen == record) return true;
    bool withRate = false;
    if (record->hertz != 0 && SwitchDisplayMode(record->width, record->height, record->depth, record->hertz)) {
        withRate = true;
    } else if (!SwitchDisplayMode(record->width, record->height, record->depth, 0)) {
        return false;
    }
    s.fullScreen = record;
    if (!s.exitRestoreRegistered) {
        // Closing the graphics restores the desktop's mode; this covers a program that never does.
        s.exitRestoreRegistered = true;
        AddExitHandler([] {
            if (WGLModule().fullScreen) {
                RestoreDisplayMode();
                WGLModule().fullScreen = nullptr;
            }
        });
    }
    // The display's rate stands in for vertical-blank waits only when it is the one asked for.
    SetInterval(withRate ? 1 : 0, record);
    return true;
}

// Back to the desktop's mode when the full-screen window loses the focus or closes.
void ReleaseDisplay(TGLContextRecord* record, bool minimise) {
    TWGLModule& s = WGLModule();
    if (s.fullScreen != record) return;
    RestoreDisplayMode();
    if (minimise) ShowWindow(record->window, SW_MINIMIZE);
    SetInterval(0, record);
    s.fullScreen = nullptr;
}

const char* DISPLAY_MODE_ERROR = "GLGraphicsDriver failed to set display mode";

LRESULT OwnHandling(TGLContextRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETFOCUS:
            if (record->kind == KIND_FULLSCREEN && WGLModule().creating != record && WGLModule().fullScreen != record &&
                !TakeDisplay(record)) {
                throw TRuntimeException(DISPLAY_MODE_ERROR);
            }
            return 0;
        case WM_KILLFOCUS:
            ReleaseDisplay(record, true);
            return 0;
        case WM_DESTROY:
            ReleaseDisplay(record, false);
            win32::ForgetWin32Window(window);
            return 0;
        case WM_CLOSE:
            return 0;  // only the "AppTerminate" event: the window stays
        case WM_PAINT:
            ValidateRect(window, nullptr);
            return 0;
        case WM_SIZE:
            // Noted only: the size is taken between frames (TakeNewSize, from Flip).
            if (record->kind == KIND_WINDOW && (record->flags & GFX_RESIZABLE) && wParam != SIZE_MINIMIZED) {
                record->newWidth = LOWORD(lParam);
                record->newHeight = HIWORD(lParam);
                record->resized = record->newWidth != record->width || record->newHeight != record->height;
            }
            return 0;
        case WM_SYSKEYDOWN:
            // Alt+F4 still asks to close; other system keys (Alt alone opening the menu) are ours.
            if (wParam == VK_F4) return DefWindowProcW(window, message, wParam, lParam);
            return 0;
        case WM_SYSCOMMAND: {
            const WPARAM command = wParam & 0xFFF0;
            if (command == SC_SCREENSAVE || command == SC_MONITORPOWER) return 1;
            return DefWindowProcW(window, message, wParam, lParam);
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            SetCapture(window);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            ReleaseCapture();
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TGLContextRecord* record = FindRecord(window);
    if (!record) return DefWindowProcW(window, message, wParam, lParam);
    // Errors must not unwind through the system's dispatch: the pump raises them afterwards.
    try {
        win32::EmitSystemEvent(window, message, wParam, lParam, nullptr);
    } catch (...) {
        win32::DeferWindowProcError(std::current_exception());
    }
    try {
        return OwnHandling(record, window, message, wParam, lParam);
    } catch (...) {
        win32::DeferWindowProcError(std::current_exception());
        return 0;
    }
}

void RegisterWindowClass() {
    TWGLModule& s = WGLModule();
    if (s.classRegistered) return;
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = Instance();
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassW(&windowClass)) FatalNativeError("cannot register the window class of the OpenGL windows");
    s.classRegistered = true;
}

// A context on the window's device context, with a pixel format for flags set on it unless it
// has one already (a window's format can be set only once). nullptr when none fits.
HGLRC NewContext(HDC dc, int32_t flags) {
    if (GetPixelFormat(dc) == 0) {
        const int format = ChooseFormat(dc, flags);
        if (format == 0) return nullptr;
        const PIXELFORMATDESCRIPTOR request = PixelFormatRequest(flags);
        if (!SetPixelFormat(dc, format, &request)) return nullptr;
    }
    return wglCreateContext(dc);
}

// Textures made in any context are visible in all: each new context shares the hidden one's.
bool Share(HGLRC context) {
    const TWGLModule& s = WGLModule();
    return wglShareLists(s.shared.context, context) != FALSE;
}

void Link(std::unique_ptr<TGLContextRecord> record) {
    auto& list = WGLModule().list;
    list.insert(list.begin(), std::move(record));
}

}  // namespace

TWGLModule& WGLModule() {
    // Never destroyed: a graphics object dropped during exit still finds its record listed.
    static TWGLModule& module = *new TWGLModule;
    return module;
}

void TWGLModule::Reset() {
    rememberedSync = -1;
    swapIntervalCalls = 0;
    lastSwapInterval = -1;
    modeSwitches = 0;
    modeRestores = 0;
}

bool IsListed(const TGLContextRecord* record) {
    if (!record) return false;
    const auto& list = WGLModule().list;
    return std::any_of(list.begin(), list.end(), [&](const auto& r) { return r.get() == record; });
}

TGLContextRecord* FindRecord(HWND window) {
    for (const auto& r : WGLModule().list) {
        if (r->window == window && r->kind != KIND_ATTACHED) return r.get();
    }
    return nullptr;
}

void CreateSharedContext() {
    TWGLModule& s = WGLModule();
    if (s.sharedMade) return;
    // From the first window on, the Win32 driver pumps the messages.
    win32::InstallWin32SystemDriver();
    RegisterWindowClass();
    HWND window = CreateWindowExW(0, WINDOW_CLASS, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, Instance(), nullptr);
    if (!window) FatalNativeError("cannot create the hidden window of the OpenGL context");
    HDC dc = GetDC(window);
    HGLRC context = dc ? NewContext(dc, 0) : nullptr;
    if (!context) FatalNativeError("no pixel format or OpenGL context for an RGBA window");
    s.shared.kind = KIND_SHARED;
    s.shared.width = s.shared.height = 1;
    s.shared.dc = dc;
    s.shared.window = window;
    s.shared.context = context;
    s.sharedMade = true;
}

TGLContextRecord* CreateWindowContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    CreateSharedContext();
    if (width <= 0 || height <= 0) return nullptr;
    TWGLModule& s = WGLModule();
    const bool fullScreen = depth != 0;
    RECT frame{0, 0, width, height};
    DWORD style = WS_POPUP;
    if (!fullScreen) {
        // A window with a title bar and a close box, its client area at (32, 32); fixed in size
        // unless resizable.
        OffsetRect(&frame, 32, 32);
        style = WS_CAPTION | WS_SYSMENU;
        if (flags & GFX_RESIZABLE) {
            style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
            // Sizes in real pixels on a dense display, not scaled up by the system; asked only
            // by programs that follow the window's size, so fixed windows keep their look.
            SetProcessDPIAware();
        }
    }
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const TString title = ApplicationTitle();
    HWND window = CreateWindowExW(0, WINDOW_CLASS, reinterpret_cast<const wchar_t*>(title.c_str()), style, frame.left,
                                  frame.top, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  Instance(), nullptr);
    if (!window) return nullptr;
    RECT client{};
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    HGLRC context = dc ? NewContext(dc, flags) : nullptr;
    if (!context) {
        DestroyWindow(window);
        return nullptr;
    }
    Share(context);

    auto record = std::make_unique<TGLContextRecord>();
    record->kind = fullScreen ? KIND_FULLSCREEN : KIND_WINDOW;
    record->width = client.right - client.left;
    record->height = client.bottom - client.top;
    record->depth = fullScreen ? depth : 0;
    record->hertz = hertz;
    record->flags = flags;
    record->dc = dc;
    record->window = window;
    record->context = context;
    TGLContextRecord* raw = record.get();
    Link(std::move(record));
    if (fullScreen) s.creating = raw;
    ShowWindow(window, SW_SHOW);
    s.creating = nullptr;

    if (fullScreen && s.fullScreen != raw) {
        // The switch a focused full-screen window makes, done here so that this call reports a
        // failure; the window does not outlive it.
        if (!TakeDisplay(raw)) {
            CloseContext(raw);
            throw TRuntimeException(DISPLAY_MODE_ERROR);
        }
    }
    return raw;
}

TGLContextRecord* AttachContext(HWND window, int32_t flags) {
    CreateSharedContext();
    if (!IsWindow(window)) return nullptr;
    HDC dc = GetDC(window);
    if (!dc) return nullptr;
    HGLRC context = NewContext(dc, flags);
    if (!context) {
        ReleaseDC(window, dc);
        return nullptr;
    }
    Share(context);
    RECT client{};
    GetClientRect(window, &client);
    auto record = std::make_unique<TGLContextRecord>();
    record->kind = KIND_ATTACHED;
    record->width = client.right - client.left;
    record->height = client.bottom - client.top;
    record->flags = flags;
    record->dc = dc;
    record->window = window;
    record->context = context;
    TGLContextRecord* raw = record.get();
    Link(std::move(record));
    return raw;
}

void GetSettings(TGLContextRecord* record, int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz,
                 int32_t* flags) {
    if (record->kind == KIND_ATTACHED) {
        // Someone else's window may have changed size.
        RECT client{};
        if (GetClientRect(record->window, &client)) {
            record->width = client.right - client.left;
            record->height = client.bottom - client.top;
        }
    }
    *width = record->width;
    *height = record->height;
    *depth = record->depth;
    *hertz = record->hertz;
    *flags = record->flags;
}

void MakeCurrent(TGLContextRecord* record) {
    TWGLModule& s = WGLModule();
    if (record == s.current) return;
    s.current = record;
    if (record) {
        wglMakeCurrent(record->dc, record->context);
    } else {
        wglMakeCurrent(nullptr, nullptr);
    }
}

void CloseContext(TGLContextRecord* record) {
    TWGLModule& s = WGLModule();
    if (!IsListed(record)) return;
    if (s.current == record) MakeCurrent(nullptr);
    if (wglGetCurrentContext() == record->context) wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(record->context);
    if (record->kind == KIND_WINDOW || record->kind == KIND_FULLSCREEN) {
        // WM_DESTROY finds the record still listed and gives the display back if it held it.
        DestroyWindow(record->window);
    } else {
        ReleaseDC(record->window, record->dc);  // the window stays its creator's
    }
    ReleaseDisplay(record, false);  // when the window was already gone
    auto& list = s.list;
    list.erase(std::find_if(list.begin(), list.end(), [&](const auto& r) { return r.get() == record; }));
}

void FlipCurrent(int32_t sync) {
    TWGLModule& s = WGLModule();
    if (!s.current) return;
    const int32_t wanted = sync != 0 ? 1 : 0;
    if (wanted != s.rememberedSync) {
        s.rememberedSync = wanted;
        SetInterval(wanted);
    }
    SwapBuffers(s.current->dc);
}

void DropContext(TGLContextRecord* record) { CloseContext(record); }

void* ProcAddress(const char* name) {
    // Some drivers answer 1, 2, 3 or -1 instead of null for what they do not have.
    auto proc = reinterpret_cast<intptr_t>(wglGetProcAddress(name));
    return proc >= -1 && proc <= 3 ? nullptr : reinterpret_cast<void*>(proc);
}

void SwapShared() {
    CreateSharedContext();
    TWGLModule& s = WGLModule();
    if (wglGetCurrentContext() != s.shared.context) {
        wglMakeCurrent(s.shared.dc, s.shared.context);
    } else if (s.current) {
        wglMakeCurrent(s.current->dc, s.current->context);
    } else {
        wglMakeCurrent(nullptr, nullptr);
    }
}

}  // namespace corvex::wgl

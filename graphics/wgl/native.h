// The GL driver's native layer on Win32 and WGL: one record per window context, the hidden shared
// context, the window class and procedure, making contexts current, full-screen display holding,
// Flip's swap interval, display modes. Only graphics/wgl/ and its tests include this header.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <vector>

namespace corvex::wgl {

// Kinds of context record.
constexpr int32_t KIND_SHARED = 0;
constexpr int32_t KIND_ATTACHED = 1;     // a window someone else made
constexpr int32_t KIND_WINDOW = 2;       // our window on the desktop
constexpr int32_t KIND_FULLSCREEN = 3;   // our full-screen window

// Class of our windows (and of the hidden window of the shared context).
constexpr const wchar_t* WINDOW_CLASS = L"Corvex GLGraphics";

struct TGLContextRecord {
    int32_t kind = KIND_SHARED;
    int32_t width = 0;    // client size as obtained
    int32_t height = 0;
    int32_t depth = 0;    // requested bits per pixel (full screen only)
    int32_t hertz = 0;    // requested refresh rate
    int32_t flags = 0;
    HDC dc = nullptr;
    HWND window = nullptr;
    HGLRC context = nullptr;
    int32_t newWidth = 0;  // a resizable window's client size from its last WM_SIZE
    int32_t newHeight = 0;
    bool resized = false;  // newWidth x newHeight differs from width x height, not yet taken
};

struct TDisplayMode {
    int32_t width, height, depth, hertz;
};

// --- Native operations (main thread) ------------------------------------------------------------
void CreateSharedContext();  // once; failures end the process
TGLContextRecord* CreateWindowContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
TGLContextRecord* AttachContext(HWND window, int32_t flags);  // nullptr: no such window or no pixel format
void GetSettings(TGLContextRecord* record, int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz,
                 int32_t* flags);
void MakeCurrent(TGLContextRecord* record);    // nullptr: none
void CloseContext(TGLContextRecord* record);   // a record not in the list is ignored
void DropContext(TGLContextRecord* record);    // CloseContext (for a graphics object dropped unclosed)
void FlipCurrent(int32_t sync);
void SwapShared();
void* ProcAddress(const char* name);  // wglGetProcAddress; null for what the driver lacks
std::vector<TDisplayMode> EnumerateModes();    // at most 1024, 16 bits per pixel or more

bool IsListed(const TGLContextRecord* record);
TGLContextRecord* FindRecord(HWND window);     // nullptr when not one of our listed windows

// --- Pixel formats ------------------------------------------------------------------------------
// The request for graphics flags: RGBA on a window with OpenGL, double-buffered for
// GFX_DOUBLE_BUFFER; one bit each of the alpha, depth, stencil and accumulation buffers asked for.
PIXELFORMATDESCRIPTOR PixelFormatRequest(int32_t flags);
// Whether a described format has every buffer flags ask for.
bool FormatSatisfies(const PIXELFORMATDESCRIPTOR& format, int32_t flags);
// ChoosePixelFormat's pick when it has every buffer asked for, else the first format that has;
// 0 when none does.
int ChooseFormat(HDC dc, int32_t flags);

// --- Display modes and swap interval ---------------------------------------------------------------
bool SwitchDisplayMode(int32_t width, int32_t height, int32_t depth, int32_t hertz);  // hertz 0: any rate
void RestoreDisplayMode();
// wglSwapIntervalEXT looked up on every call (needs a current context); false without it.
bool SetSwapInterval(int32_t interval);

}  // namespace corvex::wgl

// The GL driver's native layer: one record per window context, the hidden shared context,
// making contexts current, full-screen display holding, Flip's swap interval, modes.
// Only graphics/glx/ and its tests include this header.
#pragma once

#include <GL/glx.h>

#include <cstdint>
#include <vector>

#include "graphics/glx/xrandr_modes.h"
#include "system/x11/input.h"

namespace corvex::glx {

// Kinds of context record.
constexpr int32_t KIND_SHARED = 0;
constexpr int32_t KIND_ATTACHED = 1;     // a window someone else made
constexpr int32_t KIND_WINDOW = 2;       // our window on the desktop
constexpr int32_t KIND_FULLSCREEN = 3;   // our full-screen window

struct TGLContextRecord : x11::TX11WindowClient {
    int32_t kind = KIND_SHARED;
    int32_t width = 0;    // client size as obtained
    int32_t height = 0;
    int32_t depth = 0;    // requested bits per pixel (full screen only)
    int32_t hertz = 0;    // requested refresh rate
    int32_t flags = 0;
    Window window = 0;
    GLXContext context = nullptr;
    GLXFBConfig config = nullptr;
    int32_t newWidth = 0;  // a resizable window's size from its last ConfigureNotify
    int32_t newHeight = 0;
    bool resized = false;  // newWidth x newHeight differs from width x height, not yet taken
    void HandleX11Event(const XEvent& event) override;  // focus switches the display mode; notes resizes
};

// --- Native operations (main thread) ------------------------------------------------------------
void CreateSharedContext();  // once; failures end the process
TGLContextRecord* CreateWindowContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
TGLContextRecord* AttachContext(Window window, int32_t flags);  // nullptr: no such window or no fitting visual
void GetSettings(TGLContextRecord* record, int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz,
                 int32_t* flags);
void MakeCurrent(TGLContextRecord* record);    // nullptr: none
void CloseContext(TGLContextRecord* record);   // a record not in the list is ignored
void DropContext(TGLContextRecord* record);    // CloseContext; once the display is closed, only forgets it
void FlipCurrent(int32_t sync);
void SwapShared();
void* ProcAddress(const char* name);  // glXGetProcAddress
std::vector<TDisplayMode> EnumerateModes();    // at most 1024, 16 bits per pixel or more

bool IsListed(const TGLContextRecord* record);

}  // namespace corvex::glx

// The offscreen driver's native layer: the EGL display on Mesa's surfaceless platform, the
// hidden shared context, one record per offscreen context with its framebuffer, making contexts
// current, presenting and reading back. Each context draws into a pbuffer (so its pixels have
// the layout of a window's, and the rasterizer takes the same paths); a double-buffered one
// presents into a renderbuffer of its own. Only graphics/egl/ and its tests include this header.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvex::egl {

struct TEGLContextRecord {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t hertz = 0;
    int32_t flags = 0;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;  // the pbuffer drawn into: the back buffer
    GLuint frontFramebuffer = 0; // double-buffered only: a container object of this context
    GLuint front = 0;            // its colour renderbuffer, which Flip presents into
    std::chrono::steady_clock::time_point blankOrigin;  // phase of the simulated vertical blank
    int32_t flips = 0;           // presented frames
    int32_t newWidth = 0;        // the size a resize asked for
    int32_t newHeight = 0;
    bool resized = false;        // newWidth x newHeight not yet taken
};

// --- Native operations (main thread) ------------------------------------------------------------
// Opens the display and makes the shared context once; false with Problem() set when EGL cannot
// be used. Later calls answer the first call's result.
bool Initialise();
const std::string& Problem();
int32_t MaxBufferSize();        // largest width and height of a buffer; 0 when EGL is unusable
// Raises a runtime error when the buffer cannot be made; the previously current context stays.
TEGLContextRecord* CreateContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
void MakeCurrent(TEGLContextRecord* record);   // nullptr: none
// New back and front buffers of this size, black; false (the old ones kept) when they cannot be made.
bool ResizeBuffers(TEGLContextRecord* record, int32_t width, int32_t height);
void CloseContext(TEGLContextRecord* record);  // a record not in the list is ignored
void DropContext(TEGLContextRecord* record);   // CloseContext, except once the process is exiting
void FlipCurrent(int32_t sync);
void SwapShared();
void* ProcAddress(const char* name);  // eglGetProcAddress
// Reads the record's front buffer, bottom row first, tightly packed RGBA.
bool ReadFront(TEGLContextRecord* record, std::vector<uint8_t>& rgba);

bool IsListed(const TEGLContextRecord* record);

}  // namespace corvex::egl

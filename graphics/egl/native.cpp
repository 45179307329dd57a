#include "graphics/egl/native.h"

#include <cstdlib>
#include "graphics/egl/egl_module.h"

#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include <corvex/graphics/graphics.h>
#include <corvex/runtime/exception.h>

namespace corvex::egl {
namespace {

// Framebuffer calls are not in OpenGL 1.x: they are looked up once the shared context exists.
struct TFramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;
};

TFramebufferCalls& FB() {
    static TFramebufferCalls calls;
    return calls;
}

template <typename F>
bool Look(F& slot, const char* name) {
    slot = reinterpret_cast<F>(eglGetProcAddress(name));
    return slot != nullptr;
}

bool HasWord(const char* list, const char* word) {
    if (!list) return false;
    const size_t n = std::strlen(word);
    for (const char* p = list; (p = std::strstr(p, word)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    }
    return false;
}

bool Fail(const std::string& why) {
    TEGLModule& s = EGLModule();
    s.problem = why;
    s.usable = false;
    return false;
}

std::string ErrorCode() {
    char text[32];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(eglGetError()));
    return text;
}

// Makes a context current: a record's on its pbuffer, or the shared one without surfaces.
bool Bind(const TEGLContextRecord* record) {
    TEGLModule& s = EGLModule();
    EGLSurface surface = record ? record->surface : EGL_NO_SURFACE;
    return eglMakeCurrent(s.display, surface, surface, record ? record->context : EGL_NO_CONTEXT) == EGL_TRUE;
}

bool BindShared() {
    TEGLModule& s = EGLModule();
    return eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, s.shared) == EGL_TRUE;
}

// Puts back what was current before a detour through another context.
struct TCurrentKeeper {
    EGLContext context = eglGetCurrentContext();
    EGLSurface draw = eglGetCurrentSurface(EGL_DRAW);
    EGLSurface read = eglGetCurrentSurface(EGL_READ);
    void Restore() const { eglMakeCurrent(EGLModule().display, draw, read, context); }
};

// The configuration with exactly 8-bit red, green and blue (a window's layout) and the buffers
// the flags ask for; nullptr when there is none.
EGLConfig ChooseConfig(int32_t flags) {
    TEGLModule& s = EGLModule();
    const bool alpha = flags & GFX_ALPHA_BITS;
    const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                           EGL_SURFACE_TYPE,    EGL_PBUFFER_BIT,
                           EGL_RED_SIZE,        8,
                           EGL_GREEN_SIZE,      8,
                           EGL_BLUE_SIZE,       8,
                           EGL_ALPHA_SIZE,      alpha ? 8 : 0,
                           EGL_DEPTH_SIZE,      (flags & GFX_DEPTH_BUFFER) ? 1 : 0,
                           EGL_STENCIL_SIZE,    (flags & GFX_STENCIL_BUFFER) ? 1 : 0,
                           EGL_NONE};
    EGLint count = 0;
    if (eglChooseConfig(s.display, want, nullptr, 0, &count) != EGL_TRUE || count < 1) return nullptr;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    eglChooseConfig(s.display, want, configs.data(), count, &count);
    for (EGLConfig c : configs) {
        EGLint r = 0, g = 0, b = 0, a = 0;
        eglGetConfigAttrib(s.display, c, EGL_RED_SIZE, &r);
        eglGetConfigAttrib(s.display, c, EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(s.display, c, EGL_BLUE_SIZE, &b);
        eglGetConfigAttrib(s.display, c, EGL_ALPHA_SIZE, &a);
        if (r == 8 && g == 8 && b == 8 && (alpha ? a == 8 : a == 0)) return c;
    }
    return nullptr;
}

void DeleteFront(TEGLContextRecord* r) {
    TFramebufferCalls& fb = FB();
    if (r->frontFramebuffer) fb.deleteFramebuffers(1, &r->frontFramebuffer);
    if (r->front) fb.deleteRenderbuffers(1, &r->front);
    r->frontFramebuffer = r->front = 0;
}

// Sets up the record's context, which is current: a window's starting viewport and, when
// double-buffered, the front buffer. False: the front buffer cannot be made.
bool Prepare(TEGLContextRecord* r) {
    // A context made current on a pbuffer starts with its size as viewport and scissor box,
    // as a window's context does; say so anyway, the rule is the window's.
    glViewport(0, 0, r->width, r->height);
    glScissor(0, 0, r->width, r->height);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);  // a new buffer starts black, at the back and in front
    if (!(r->flags & GFX_DOUBLE_BUFFER)) return true;
    TFramebufferCalls& fb = FB();
    while (glGetError() != GL_NO_ERROR) {
    }
    fb.genRenderbuffers(1, &r->front);
    fb.bindRenderbuffer(GL_RENDERBUFFER, r->front);
    fb.renderbufferStorage(GL_RENDERBUFFER, (r->flags & GFX_ALPHA_BITS) ? GL_RGBA8 : GL_RGB8, r->width, r->height);
    fb.bindRenderbuffer(GL_RENDERBUFFER, 0);
    fb.genFramebuffers(1, &r->frontFramebuffer);
    fb.bindFramebuffer(GL_FRAMEBUFFER, r->frontFramebuffer);
    fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, r->front);
    const bool complete = fb.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete) glClear(GL_COLOR_BUFFER_BIT);
    fb.bindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete && glGetError() == GL_NO_ERROR;
}

// Copies the back buffer (the pbuffer) of the current record into its front buffer. The blit
// obeys the scissor box, which the drawing layer sets for its viewport, so the box is lifted.
void Present(TEGLContextRecord* r) {
    if (r->frontFramebuffer) {
        const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
        if (scissor) glDisable(GL_SCISSOR_TEST);
        TFramebufferCalls& fb = FB();
        fb.bindFramebuffer(GL_DRAW_FRAMEBUFFER, r->frontFramebuffer);
        fb.blitFramebuffer(0, 0, r->width, r->height, 0, 0, r->width, r->height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        fb.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        if (scissor) glEnable(GL_SCISSOR_TEST);
    }
    glFlush();
    ++r->flips;
}

// Sleeps until the next tick of the record's simulated vertical blank.
void WaitForBlank(TEGLContextRecord* r) {
    using namespace std::chrono;
    const int32_t hertz = r->hertz > 0 ? r->hertz : 60;
    const auto period = duration_cast<steady_clock::duration>(duration<double>(1.0 / hertz));
    const auto now = steady_clock::now();
    const auto ticks = (now - r->blankOrigin) / period + 1;
    std::this_thread::sleep_until(r->blankOrigin + ticks * period);
}

}  // namespace

// Never destroyed: graphics objects that outlive main still find the list when they are dropped.
TEGLModule& EGLModule() {
    static TEGLModule* module = new TEGLModule;
    return *module;
}

void TEGLModule::Reset() { *this = TEGLModule(); }

const std::string& Problem() { return EGLModule().problem; }

bool IsListed(const TEGLContextRecord* record) {
    for (const auto& r : EGLModule().list) {
        if (r.get() == record) return true;
    }
    return false;
}

bool Initialise() {
    TEGLModule& s = EGLModule();
    if (s.tried) return s.usable;
    s.tried = true;
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasWord(client, "EGL_EXT_platform_base")) return Fail("EGL has no platform displays (EGL_EXT_platform_base)");
    if (EGLModule().platform == EGL_PLATFORM_SURFACELESS_MESA && !HasWord(client, "EGL_MESA_platform_surfaceless")) {
        return Fail("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
    }
    auto getDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getDisplay) return Fail("EGL lacks eglGetPlatformDisplayEXT");
    s.display = getDisplay(EGLModule().platform, EGL_DEFAULT_DISPLAY, nullptr);
    if (s.display == EGL_NO_DISPLAY) return Fail("EGL gives no display for the platform (error " + ErrorCode() + ")");
    EGLint major = 0, minor = 0;
    if (EGLModule().failInitialise || eglInitialize(s.display, &major, &minor) != EGL_TRUE) {
        s.display = EGL_NO_DISPLAY;
        return Fail("eglInitialize failed");
    }
    // Registered after EGL's own exit handler, so it runs first: contexts dropped after it must not
    // reach a display that EGL is about to tear down.
    static const bool atExit = std::atexit([] { EGLModule().exiting = true; }) == 0;
    (void)atExit;
    if (!HasWord(eglQueryString(s.display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        return Fail("EGL cannot make contexts current without a surface (EGL_KHR_surfaceless_context)");
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) return Fail("EGL offers no desktop OpenGL");
    s.config = ChooseConfig(0);
    if (!s.config) return Fail("EGL has no pbuffer configuration for desktop OpenGL with 8-bit colour");
    s.shared = eglCreateContext(s.display, s.config, EGL_NO_CONTEXT, nullptr);
    if (s.shared == EGL_NO_CONTEXT) return Fail("EGL cannot make an OpenGL context (error " + ErrorCode() + ")");
    // The limits and the framebuffer calls are read in the shared context, then nothing is current.
    TCurrentKeeper before;
    if (!BindShared()) return Fail("EGL cannot make the shared context current (error " + ErrorCode() + ")");
    TFramebufferCalls& fb = FB();
    bool calls = Look(fb.genFramebuffers, "glGenFramebuffers") && Look(fb.deleteFramebuffers, "glDeleteFramebuffers") &&
                 Look(fb.bindFramebuffer, "glBindFramebuffer") &&
                 Look(fb.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
                 Look(fb.checkFramebufferStatus, "glCheckFramebufferStatus") &&
                 Look(fb.genRenderbuffers, "glGenRenderbuffers") &&
                 Look(fb.deleteRenderbuffers, "glDeleteRenderbuffers") &&
                 Look(fb.bindRenderbuffer, "glBindRenderbuffer") &&
                 Look(fb.renderbufferStorage, "glRenderbufferStorage") && Look(fb.blitFramebuffer, "glBlitFramebuffer");
    GLint renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    EGLint pbufferWidth = 0, pbufferHeight = 0;
    eglGetConfigAttrib(s.display, s.config, EGL_MAX_PBUFFER_WIDTH, &pbufferWidth);
    eglGetConfigAttrib(s.display, s.config, EGL_MAX_PBUFFER_HEIGHT, &pbufferHeight);
    s.maxSize = std::min({renderbuffer, viewport[0], viewport[1], pbufferWidth, pbufferHeight});
    before.Restore();
    if (!calls) return Fail("the OpenGL context has no framebuffer objects");
    if (s.maxSize < 1) return Fail("the OpenGL context reports no usable buffer size");
    s.usable = true;
    s.problem.clear();
    return true;
}

int32_t MaxBufferSize() { return Initialise() ? EGLModule().maxSize : 0; }

TEGLContextRecord* CreateContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    if (!Initialise()) throw TRuntimeException(u"EGLGraphicsDriver: " + FromUtf8(Problem()));
    TEGLModule& s = EGLModule();
    if (width < 1 || height < 1 || width > s.maxSize || height > s.maxSize) {
        throw TRuntimeException(u"EGLGraphicsDriver cannot make a " + DecimalString(width) + u" x " +
                                DecimalString(height) + u" buffer");
    }
    if (depth != 0 && depth != 16 && depth != 24 && depth != 32) {
        throw TRuntimeException(u"EGLGraphicsDriver cannot make " + DecimalString(depth) + u"-bit buffers");
    }
    if (flags & GFX_ACCUM_BUFFER) throw TRuntimeException(u"EGLGraphicsDriver cannot make accumulation buffers");
    auto record = std::make_unique<TEGLContextRecord>();
    record->width = width;
    record->height = height;
    record->depth = depth;
    record->hertz = hertz;
    record->flags = flags;
    record->blankOrigin = std::chrono::steady_clock::now();
    record->config = ChooseConfig(flags);
    if (!record->config) throw TRuntimeException(u"EGLGraphicsDriver has no configuration for these buffers");
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    record->surface = eglCreatePbufferSurface(s.display, record->config, size);
    if (record->surface == EGL_NO_SURFACE) {
        throw TRuntimeException(u"EGLGraphicsDriver cannot make a " + DecimalString(width) + u" x " +
                                DecimalString(height) + u" buffer (error " + FromUtf8(ErrorCode()) + u")");
    }
    record->context = eglCreateContext(s.display, record->config, s.shared, nullptr);
    if (record->context == EGL_NO_CONTEXT) {
        eglDestroySurface(s.display, record->surface);
        throw TRuntimeException(u"EGLGraphicsDriver cannot make a context (error " + FromUtf8(ErrorCode()) + u")");
    }
    // The buffers are set up in the new context; whatever was current before is current after.
    TCurrentKeeper before;
    const bool ready = Bind(record.get()) && Prepare(record.get());
    if (!ready) DeleteFront(record.get());
    before.Restore();
    if (!ready) {
        eglDestroyContext(s.display, record->context);
        eglDestroySurface(s.display, record->surface);
        throw TRuntimeException(u"EGLGraphicsDriver cannot make the front buffer of a " + DecimalString(width) +
                                u" x " + DecimalString(height) + u" context");
    }
    TEGLContextRecord* made = record.get();
    s.list.insert(s.list.begin(), std::move(record));
    return made;
}

void MakeCurrent(TEGLContextRecord* record) {
    TEGLModule& s = EGLModule();
    if (record == s.current) return;
    if (s.display == EGL_NO_DISPLAY) return;
    s.current = record;
    Bind(record);
}

bool ResizeBuffers(TEGLContextRecord* record, int32_t width, int32_t height) {
    TEGLModule& s = EGLModule();
    if (!IsListed(record)) return false;
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(s.display, record->config, size);
    if (surface == EGL_NO_SURFACE) return false;
    TCurrentKeeper before;
    // The old front buffer goes in its own context, then the context moves to the new pbuffer.
    if (Bind(record)) DeleteFront(record);
    const EGLSurface old = record->surface;
    const int32_t oldWidth = record->width, oldHeight = record->height;
    record->surface = surface;
    record->width = width;
    record->height = height;
    bool ready = Bind(record) && Prepare(record);
    if (!ready) {
        // Back to the old pbuffer, whose front buffer is made again.
        DeleteFront(record);
        record->surface = old;
        record->width = oldWidth;
        record->height = oldHeight;
        if (Bind(record)) Prepare(record);
    }
    if (before.context == record->context) {
        Bind(record);
    } else {
        before.Restore();
    }
    eglDestroySurface(s.display, ready ? old : surface);
    return ready;
}

void CloseContext(TEGLContextRecord* record) {
    TEGLModule& s = EGLModule();
    auto at = std::find_if(s.list.begin(), s.list.end(), [&](const auto& r) { return r.get() == record; });
    if (at == s.list.end()) return;
    if (s.current == record) MakeCurrent(nullptr);
    // The front buffer goes in its own context; then whatever was current is again.
    TCurrentKeeper before;
    if (Bind(record)) DeleteFront(record);
    if (before.context == record->context) {
        eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    } else {
        before.Restore();
    }
    eglDestroyContext(s.display, record->context);
    eglDestroySurface(s.display, record->surface);
    s.list.erase(at);
}

void DropContext(TEGLContextRecord* record) {
    if (EGLModule().exiting) return;  // the process's end takes the buffers
    CloseContext(record);
}

void FlipCurrent(int32_t sync) {
    TEGLContextRecord* r = EGLModule().current;
    if (!r) return;
    if (sync != 0) WaitForBlank(r);
    Present(r);
}

void SwapShared() {
    TEGLModule& s = EGLModule();
    if (s.shared == EGL_NO_CONTEXT) return;
    if (eglGetCurrentContext() != s.shared) {
        BindShared();
    } else {
        Bind(s.current);
    }
}

bool ReadFront(TEGLContextRecord* r, std::vector<uint8_t>& rgba) {
    if (!IsListed(r)) return false;
    rgba.assign(static_cast<size_t>(r->width) * static_cast<size_t>(r->height) * 4, 0);
    TCurrentKeeper before;
    const bool detour = before.context != r->context;
    if (detour && !Bind(r)) return false;
    TFramebufferCalls& fb = FB();
    GLint pack = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (r->frontFramebuffer) fb.bindFramebuffer(GL_READ_FRAMEBUFFER, r->frontFramebuffer);
    glReadPixels(0, 0, r->width, r->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    if (r->frontFramebuffer) fb.bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
    if (detour) before.Restore();
    return true;
}

void* ProcAddress(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

}  // namespace corvex::egl

#include "graphics/egl/native.h"

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
    TEGLState& s = EGLState();
    s.problem = why;
    s.usable = false;
    return false;
}

std::string ErrorCode() {
    char text[32];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(eglGetError()));
    return text;
}

// Makes ctx current without surfaces; the record bookkeeping is the caller's.
bool Bind(EGLContext ctx) {
    TEGLState& s = EGLState();
    return eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx) == EGL_TRUE;
}

EGLContext RecordContext(const TEGLContextRecord* record) { return record ? record->context : EGL_NO_CONTEXT; }

void DeleteBuffers(TEGLContextRecord* r) {
    TFramebufferCalls& fb = FB();
    if (r->framebuffer) fb.deleteFramebuffers(1, &r->framebuffer);
    if (r->front && r->front != r->back) fb.deleteRenderbuffers(1, &r->front);
    if (r->back) fb.deleteRenderbuffers(1, &r->back);
    if (r->depthStencil) fb.deleteRenderbuffers(1, &r->depthStencil);
    r->framebuffer = r->front = r->back = r->depthStencil = 0;
}

GLuint Renderbuffer(GLenum format, int32_t width, int32_t height) {
    TFramebufferCalls& fb = FB();
    GLuint name = 0;
    fb.genRenderbuffers(1, &name);
    fb.bindRenderbuffer(GL_RENDERBUFFER, name);
    fb.renderbufferStorage(GL_RENDERBUFFER, format, width, height);
    return name;
}

// Builds the record's framebuffer in its own context, which is current. False: incomplete.
bool BuildFramebuffer(TEGLContextRecord* r) {
    TFramebufferCalls& fb = FB();
    const GLenum colour = (r->flags & GFX_ALPHA_BITS) ? GL_RGBA8 : GL_RGB8;
    while (glGetError() != GL_NO_ERROR) {
    }
    r->back = Renderbuffer(colour, r->width, r->height);
    r->front = (r->flags & GFX_DOUBLE_BUFFER) ? Renderbuffer(colour, r->width, r->height) : r->back;
    const bool depth = r->flags & GFX_DEPTH_BUFFER, stencil = r->flags & GFX_STENCIL_BUFFER;
    if (depth || stencil) {
        r->depthStencil = Renderbuffer(stencil ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT24, r->width, r->height);
    }
    fb.bindRenderbuffer(GL_RENDERBUFFER, 0);
    fb.genFramebuffers(1, &r->framebuffer);
    fb.bindFramebuffer(GL_FRAMEBUFFER, r->framebuffer);
    fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, r->back);
    if (r->front != r->back) {
        fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_RENDERBUFFER, r->front);
    }
    if (r->depthStencil) {
        if (depth) fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, r->depthStencil);
        if (stencil) {
            fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, r->depthStencil);
        }
    }
    // Drawing and reading go to the back buffer, as in a double-buffered window.
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    const bool complete = fb.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (!complete || glGetError() != GL_NO_ERROR) return false;
    // A context made current without a surface starts with an empty viewport and scissor box;
    // a window's context starts with its client area.
    glViewport(0, 0, r->width, r->height);
    glScissor(0, 0, r->width, r->height);
    // A new buffer starts black, in front and at the back.
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawBuffer(GL_COLOR_ATTACHMENT1);
    if (r->front != r->back) glClear(GL_COLOR_BUFFER_BIT);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    return true;
}

// Copies the back buffer of the current record into its front buffer. The blit obeys the
// scissor box, which the drawing layer sets for its viewport, so the box is lifted around it.
void Present(TEGLContextRecord* r) {
    if (r->front != r->back) {
        const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
        if (scissor) glDisable(GL_SCISSOR_TEST);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_COLOR_ATTACHMENT1);
        FB().blitFramebuffer(0, 0, r->width, r->height, 0, 0, r->width, r->height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
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

TEGLState& EGLState() {
    static TEGLState state;
    return state;
}

TEGLSeams& EGLSeams() {
    static TEGLSeams seams;
    return seams;
}

const std::string& Problem() { return EGLState().problem; }

bool IsListed(const TEGLContextRecord* record) {
    for (const auto& r : EGLState().list) {
        if (r.get() == record) return true;
    }
    return false;
}

bool Initialise() {
    TEGLState& s = EGLState();
    if (s.tried) return s.usable;
    s.tried = true;
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasWord(client, "EGL_EXT_platform_base")) return Fail("EGL has no platform displays (EGL_EXT_platform_base)");
    if (EGLSeams().platform == EGL_PLATFORM_SURFACELESS_MESA && !HasWord(client, "EGL_MESA_platform_surfaceless")) {
        return Fail("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
    }
    auto getDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getDisplay) return Fail("EGL lacks eglGetPlatformDisplayEXT");
    s.display = getDisplay(EGLSeams().platform, EGL_DEFAULT_DISPLAY, nullptr);
    if (s.display == EGL_NO_DISPLAY) return Fail("EGL gives no display for the platform (error " + ErrorCode() + ")");
    EGLint major = 0, minor = 0;
    if (EGLSeams().failInitialise || eglInitialize(s.display, &major, &minor) != EGL_TRUE) {
        s.display = EGL_NO_DISPLAY;
        return Fail("eglInitialize failed");
    }
    if (!HasWord(eglQueryString(s.display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        return Fail("EGL cannot make contexts current without a surface (EGL_KHR_surfaceless_context)");
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) return Fail("EGL offers no desktop OpenGL");
    const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_RED_SIZE, 8,
                           EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_NONE};
    EGLint count = 0;
    if (eglChooseConfig(s.display, want, &s.config, 1, &count) != EGL_TRUE || count < 1) {
        return Fail("EGL has no configuration for desktop OpenGL with 8-bit colour");
    }
    s.shared = eglCreateContext(s.display, s.config, EGL_NO_CONTEXT, nullptr);
    if (s.shared == EGL_NO_CONTEXT) return Fail("EGL cannot make an OpenGL context (error " + ErrorCode() + ")");
    // The limits and the framebuffer calls are read in the shared context, then nothing is current.
    EGLContext before = eglGetCurrentContext();
    if (!Bind(s.shared)) return Fail("EGL cannot make the shared context current (error " + ErrorCode() + ")");
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
    s.maxSize = std::min({renderbuffer, viewport[0], viewport[1]});
    eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, before);
    if (!calls) return Fail("the OpenGL context has no framebuffer objects");
    if (s.maxSize < 1) return Fail("the OpenGL context reports no usable buffer size");
    s.usable = true;
    s.problem.clear();
    return true;
}

int32_t MaxBufferSize() { return Initialise() ? EGLState().maxSize : 0; }

TEGLContextRecord* CreateContext(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    if (!Initialise()) throw TRuntimeException(u"EGLGraphicsDriver: " + FromUtf8(Problem()));
    TEGLState& s = EGLState();
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
    record->context = eglCreateContext(s.display, s.config, s.shared, nullptr);
    if (record->context == EGL_NO_CONTEXT) {
        throw TRuntimeException(u"EGLGraphicsDriver cannot make a context (error " + FromUtf8(ErrorCode()) + u")");
    }
    // The framebuffer is made in the new context; whatever was current before is current after.
    EGLContext before = eglGetCurrentContext();
    bool built = Bind(record->context) && BuildFramebuffer(record.get());
    if (!built) DeleteBuffers(record.get());
    eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, before);
    if (!built) {
        eglDestroyContext(s.display, record->context);
        throw TRuntimeException(u"EGLGraphicsDriver cannot make a " + DecimalString(width) + u" x " +
                                DecimalString(height) + u" framebuffer");
    }
    TEGLContextRecord* made = record.get();
    s.list.insert(s.list.begin(), std::move(record));
    return made;
}

void MakeCurrent(TEGLContextRecord* record) {
    TEGLState& s = EGLState();
    if (record == s.current) return;
    if (s.display == EGL_NO_DISPLAY) return;
    s.current = record;
    Bind(RecordContext(record));
}

void CloseContext(TEGLContextRecord* record) {
    TEGLState& s = EGLState();
    auto at = std::find_if(s.list.begin(), s.list.end(), [&](const auto& r) { return r.get() == record; });
    if (at == s.list.end()) return;
    if (s.current == record) MakeCurrent(nullptr);
    // Buffers go in their own context; then whatever was current is again.
    EGLContext before = eglGetCurrentContext();
    if (Bind(record->context)) DeleteBuffers(record);
    eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, before == record->context ? EGL_NO_CONTEXT : before);
    eglDestroyContext(s.display, record->context);
    s.list.erase(at);
}

void FlipCurrent(int32_t sync) {
    TEGLContextRecord* r = EGLState().current;
    if (!r) return;
    if (sync != 0) WaitForBlank(r);
    Present(r);
}

void SwapShared() {
    TEGLState& s = EGLState();
    if (s.shared == EGL_NO_CONTEXT) return;
    if (eglGetCurrentContext() != s.shared) {
        Bind(s.shared);
    } else {
        Bind(RecordContext(s.current));
    }
}

bool ReadFront(TEGLContextRecord* r, std::vector<uint8_t>& rgba) {
    TEGLState& s = EGLState();
    if (!IsListed(r)) return false;
    rgba.assign(static_cast<size_t>(r->width) * static_cast<size_t>(r->height) * 4, 0);
    EGLContext before = eglGetCurrentContext();
    if (before != r->context && !Bind(r->context)) return false;
    GLint pack = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(r->front == r->back ? GL_COLOR_ATTACHMENT0 : GL_COLOR_ATTACHMENT1);
    glReadPixels(0, 0, r->width, r->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
    if (before != r->context) eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, before);
    return true;
}

void ResetForTests() {
    TEGLState& s = EGLState();
    s.list.clear();
    s = TEGLState();
    EGLSeams() = TEGLSeams();
}

}  // namespace corvex::egl

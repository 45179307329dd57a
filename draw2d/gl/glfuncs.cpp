#include "draw2d/gl/glfuncs.h"

#include <cstring>
#include <string>

#include <corvex/draw2d/gl/gldriver.h>

namespace corvex {

void TGLFunctions::Enable(GLenum cap) { glEnable(cap); }
void TGLFunctions::Disable(GLenum cap) { glDisable(cap); }
void TGLFunctions::BlendFunc(GLenum sfactor, GLenum dfactor) { glBlendFunc(sfactor, dfactor); }
void TGLFunctions::AlphaFunc(GLenum func, GLclampf ref) { glAlphaFunc(func, ref); }
void TGLFunctions::LineWidth(GLfloat width) { glLineWidth(width); }
void TGLFunctions::Scissor(GLint x, GLint y, GLsizei width, GLsizei height) { glScissor(x, y, width, height); }
void TGLFunctions::Viewport(GLint x, GLint y, GLsizei width, GLsizei height) { glViewport(x, y, width, height); }

void TGLFunctions::Color4ubv(const GLubyte* rgba) { glColor4ubv(rgba); }
void TGLFunctions::ClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    glClearColor(red, green, blue, alpha);
}
void TGLFunctions::Clear(GLbitfield mask) { glClear(mask); }

void TGLFunctions::MatrixMode(GLenum mode) { glMatrixMode(mode); }
void TGLFunctions::LoadIdentity() { glLoadIdentity(); }
void TGLFunctions::Ortho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near_val,
                         GLdouble far_val) {
    glOrtho(left, right, bottom, top, near_val, far_val);
}

void TGLFunctions::Begin(GLenum mode) { glBegin(mode); }
void TGLFunctions::End() { glEnd(); }
void TGLFunctions::Vertex2f(GLfloat x, GLfloat y) { glVertex2f(x, y); }
void TGLFunctions::TexCoord2f(GLfloat s, GLfloat t) { glTexCoord2f(s, t); }

void TGLFunctions::EnableClientState(GLenum array) { glEnableClientState(array); }
void TGLFunctions::DisableClientState(GLenum array) { glDisableClientState(array); }
void TGLFunctions::VertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    glVertexPointer(size, type, stride, pointer);
}
void TGLFunctions::TexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    glTexCoordPointer(size, type, stride, pointer);
}
void TGLFunctions::ColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    glColorPointer(size, type, stride, pointer);
}
void TGLFunctions::DrawArrays(GLenum mode, GLint first, GLsizei count) { glDrawArrays(mode, first, count); }

void TGLFunctions::GenTextures(GLsizei n, GLuint* textures) { glGenTextures(n, textures); }
void TGLFunctions::DeleteTextures(GLsizei n, const GLuint* textures) { glDeleteTextures(n, textures); }
void TGLFunctions::BindTexture(GLenum target, GLuint texture) { glBindTexture(target, texture); }
void TGLFunctions::TexParameteri(GLenum target, GLenum pname, GLint param) { glTexParameteri(target, pname, param); }
void TGLFunctions::TexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                              GLint border, GLenum format, GLenum type, const void* pixels) {
    glTexImage2D(target, level, internal_format, width, height, border, format, type, pixels);
}
void TGLFunctions::TexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width,
                                 GLsizei height, GLenum format, GLenum type, const void* pixels) {
    glTexSubImage2D(target, level, xoffset, yoffset, width, height, format, type, pixels);
}
void TGLFunctions::GetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params) {
    glGetTexLevelParameteriv(target, level, pname, params);
}
namespace {

// Framebuffer calls as looked up for one plain driver; FBOs are not part of OpenGL 1.x.
struct TFramebufferCalls {
    const TGLContextDriver* driver = nullptr;  // the driver they were looked up through
    bool looked = false, present = false;
    void (*gen)(GLsizei, GLuint*) = nullptr;
    void (*del)(GLsizei, const GLuint*) = nullptr;
    void (*bind)(GLenum, GLuint) = nullptr;
    void (*tex2d)(GLenum, GLenum, GLenum, GLuint, GLint) = nullptr;
    GLenum (*check)(GLenum) = nullptr;
};

TFramebufferCalls& FB() {
    static TFramebufferCalls calls;
    return calls;
}

bool Lists(const char* list, const char* word) {
    if (!list) return false;
    size_t n = std::strlen(word);
    for (const char* p = list; (p = std::strstr(p, word)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

template <typename F>
bool Look(TGLContextDriver& driver, F& slot, const char* name) {
    slot = reinterpret_cast<F>(driver.GLProcAddress(name));
    return slot != nullptr;
}

}  // namespace

bool TGLFunctions::HasFramebuffers() {
    Ref<TGLContextDriver> driver = GLZeph2DContextDriver();
    TFramebufferCalls& fb = FB();
    if (fb.looked && fb.driver == driver.get()) return fb.present;
    fb = TFramebufferCalls();
    fb.looked = true;
    fb.driver = driver.get();
    const char* version = reinterpret_cast<const char*>(GetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(GetString(GL_EXTENSIONS));
    bool core = (version && version[0] >= '3' && version[0] <= '9') || Lists(extensions, "GL_ARB_framebuffer_object");
    const char* suffix = core ? "" : Lists(extensions, "GL_EXT_framebuffer_object") ? "EXT" : nullptr;
    if (!suffix) return false;
    std::string names[5];
    auto name = [&names, suffix](int i, const char* base) { return (names[i] = std::string(base) + suffix).c_str(); };
    fb.present = Look(*driver, fb.gen, name(0, "glGenFramebuffers")) &&
                 Look(*driver, fb.del, name(1, "glDeleteFramebuffers")) &&
                 Look(*driver, fb.bind, name(2, "glBindFramebuffer")) &&
                 Look(*driver, fb.tex2d, name(3, "glFramebufferTexture2D")) &&
                 Look(*driver, fb.check, name(4, "glCheckFramebufferStatus"));
    return fb.present;
}

void TGLFunctions::GenFramebuffers(GLsizei n, GLuint* names) { FB().gen(n, names); }
void TGLFunctions::DeleteFramebuffers(GLsizei n, const GLuint* names) { FB().del(n, names); }
void TGLFunctions::BindFramebuffer(GLenum target, GLuint name) { FB().bind(target, name); }
void TGLFunctions::FramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                                        GLint level) {
    FB().tex2d(target, attachment, textarget, texture, level);
}
GLenum TGLFunctions::CheckFramebufferStatus(GLenum target) { return FB().check(target); }
const GLubyte* TGLFunctions::GetString(GLenum name) { return glGetString(name); }
void TGLFunctions::GetIntegerv(GLenum pname, GLint* params) { glGetIntegerv(pname, params); }
void TGLFunctions::CopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                                     GLsizei width, GLsizei height) {
    glCopyTexSubImage2D(target, level, xoffset, yoffset, x, y, width, height);
}

void TGLFunctions::PixelStorei(GLenum pname, GLint param) { glPixelStorei(pname, param); }

void TGLFunctions::RasterPos2i(GLint x, GLint y) { glRasterPos2i(x, y); }
void TGLFunctions::Bitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
                          GLfloat ymove, const GLubyte* bitmap) {
    glBitmap(width, height, xorig, yorig, xmove, ymove, bitmap);
}
void TGLFunctions::DrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const void* pixels) {
    glDrawPixels(width, height, format, type, pixels);
}
void TGLFunctions::ReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                              void* pixels) {
    glReadPixels(x, y, width, height, format, type, pixels);
}

}  // namespace corvex

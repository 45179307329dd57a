#include "draw2d/gl/glfuncs.h"

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

// The thin layer every OpenGL call of the 2D back end goes through.
//
// TGLFunctions forwards each call to the OpenGL library. Tests derive from it to count or
// record calls (and may stop them from reaching OpenGL at all); the back end reaches the
// layer only through GLFunctions(), which its module state can point at such a recorder.
#pragma once

#ifdef _WIN32
#include <windows.h>  // Windows' gl.h needs WINGDIAPI and APIENTRY from it
#endif
#include <GL/gl.h>

// Framebuffer objects: the core, ARB and EXT forms share these values.
#ifndef GL_FRAMEBUFFER
#define GL_FRAMEBUFFER 0x8D40
#endif
#ifndef GL_COLOR_ATTACHMENT0
#define GL_COLOR_ATTACHMENT0 0x8CE0
#endif
#ifndef GL_FRAMEBUFFER_COMPLETE
#define GL_FRAMEBUFFER_COMPLETE 0x8CD5
#endif
#ifndef GL_FRAMEBUFFER_BINDING
#define GL_FRAMEBUFFER_BINDING 0x8CA6
#endif
// Windows' gl.h stops at OpenGL 1.1: later constants are plain numbers here, and the later
// functions (framebuffer objects) are looked up at run time through the context driver.
#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

namespace corvex {

class TGLFunctions {
public:
    virtual ~TGLFunctions() = default;

    // ---- Server state
    virtual void Enable(GLenum cap);
    virtual void Disable(GLenum cap);
    virtual void BlendFunc(GLenum sfactor, GLenum dfactor);
    virtual void AlphaFunc(GLenum func, GLclampf ref);
    virtual void LineWidth(GLfloat width);
    virtual void Scissor(GLint x, GLint y, GLsizei width, GLsizei height);
    virtual void Viewport(GLint x, GLint y, GLsizei width, GLsizei height);

    // ---- Colour and clearing
    virtual void Color4ubv(const GLubyte* rgba);
    virtual void ClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
    virtual void Clear(GLbitfield mask);

    // ---- Matrices
    virtual void MatrixMode(GLenum mode);
    virtual void LoadIdentity();
    virtual void Ortho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near_val,
                       GLdouble far_val);

    // ---- Immediate-mode primitives
    virtual void Begin(GLenum mode);
    virtual void End();
    virtual void Vertex2f(GLfloat x, GLfloat y);
    virtual void TexCoord2f(GLfloat s, GLfloat t);

    // ---- Client-side vertex arrays (runs of primitives drawn with one call)
    virtual void EnableClientState(GLenum array);
    virtual void DisableClientState(GLenum array);
    virtual void VertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
    virtual void TexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
    virtual void ColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
    virtual void DrawArrays(GLenum mode, GLint first, GLsizei count);

    // ---- Textures
    virtual void GenTextures(GLsizei n, GLuint* textures);
    virtual void DeleteTextures(GLsizei n, const GLuint* textures);
    virtual void BindTexture(GLenum target, GLuint texture);
    virtual void TexParameteri(GLenum target, GLenum pname, GLint param);
    virtual void TexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                            GLint border, GLenum format, GLenum type, const void* pixels);
    virtual void TexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width,
                               GLsizei height, GLenum format, GLenum type, const void* pixels);
    virtual void GetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params);
    virtual void PixelStorei(GLenum pname, GLint param);

    // ---- Pixel transfer
    virtual void RasterPos2i(GLint x, GLint y);
    virtual void Bitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
                        GLfloat ymove, const GLubyte* bitmap);
    virtual void DrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const void* pixels);
    virtual void ReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                            void* pixels);
    virtual void CopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                                   GLsizei width, GLsizei height);

    // ---- Queries
    virtual const GLubyte* GetString(GLenum name);
    virtual void GetIntegerv(GLenum pname, GLint* params);

    // ---- Framebuffer objects (render targets). HasFramebuffers looks the calls up for the
    // current context: core or ARB names, else EXT names; false when neither is offered.
    virtual bool HasFramebuffers();
    virtual void GenFramebuffers(GLsizei n, GLuint* names);
    virtual void DeleteFramebuffers(GLsizei n, const GLuint* names);
    virtual void BindFramebuffer(GLenum target, GLuint name);
    virtual void FramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                                      GLint level);
    virtual GLenum CheckFramebufferStatus(GLenum target);
};

// The functions the back end calls now: the module's override if one is set, else the library.
TGLFunctions& GLFunctions();
// Routes every later call through functions (nullptr goes back to the library). The caller keeps
// functions alive while it is installed.
void SetGLFunctions(TGLFunctions* functions);

}  // namespace corvex

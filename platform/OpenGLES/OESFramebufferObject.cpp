// The system GL ES 1 library reaches the OES framebuffer object extension only through
// eglGetProcAddress; these definitions give it ordinary link-time names, as the platform's
// own GL ES 1 framework does. Each resolves its driver entry point once.
#define EGL_NO_X11 1
#include <EGL/egl.h>

#include "OpenGLES/ES1.h"

namespace {

template <class Fn>
Fn resolve(const char* name) {
    return reinterpret_cast<Fn>(eglGetProcAddress(name));
}

}  // namespace

#define OES_ENTRY(Ret, name, PFN, params, args)     \
    extern "C" GL_API Ret GL_APIENTRY name params { \
        static const PFN fn = resolve<PFN>(#name);  \
        if (fn == nullptr) return Ret();            \
        return fn args;                             \
    }

OES_ENTRY(GLboolean, glIsRenderbufferOES, PFNGLISRENDERBUFFEROESPROC, (GLuint renderbuffer),
          (renderbuffer))
OES_ENTRY(void, glBindRenderbufferOES, PFNGLBINDRENDERBUFFEROESPROC,
          (GLenum target, GLuint renderbuffer), (target, renderbuffer))
OES_ENTRY(void, glDeleteRenderbuffersOES, PFNGLDELETERENDERBUFFERSOESPROC,
          (GLsizei n, const GLuint* renderbuffers), (n, renderbuffers))
OES_ENTRY(void, glGenRenderbuffersOES, PFNGLGENRENDERBUFFERSOESPROC,
          (GLsizei n, GLuint* renderbuffers), (n, renderbuffers))
OES_ENTRY(void, glRenderbufferStorageOES, PFNGLRENDERBUFFERSTORAGEOESPROC,
          (GLenum target, GLenum internalformat, GLsizei width, GLsizei height),
          (target, internalformat, width, height))
OES_ENTRY(void, glGetRenderbufferParameterivOES, PFNGLGETRENDERBUFFERPARAMETERIVOESPROC,
          (GLenum target, GLenum pname, GLint* params), (target, pname, params))
OES_ENTRY(GLboolean, glIsFramebufferOES, PFNGLISFRAMEBUFFEROESPROC, (GLuint framebuffer),
          (framebuffer))
OES_ENTRY(void, glBindFramebufferOES, PFNGLBINDFRAMEBUFFEROESPROC,
          (GLenum target, GLuint framebuffer), (target, framebuffer))
OES_ENTRY(void, glDeleteFramebuffersOES, PFNGLDELETEFRAMEBUFFERSOESPROC,
          (GLsizei n, const GLuint* framebuffers), (n, framebuffers))
OES_ENTRY(void, glGenFramebuffersOES, PFNGLGENFRAMEBUFFERSOESPROC,
          (GLsizei n, GLuint* framebuffers), (n, framebuffers))
OES_ENTRY(GLenum, glCheckFramebufferStatusOES, PFNGLCHECKFRAMEBUFFERSTATUSOESPROC, (GLenum target),
          (target))
OES_ENTRY(void, glFramebufferRenderbufferOES, PFNGLFRAMEBUFFERRENDERBUFFEROESPROC,
          (GLenum target, GLenum attachment, GLenum renderbuffertarget, GLuint renderbuffer),
          (target, attachment, renderbuffertarget, renderbuffer))
OES_ENTRY(void, glFramebufferTexture2DOES, PFNGLFRAMEBUFFERTEXTURE2DOESPROC,
          (GLenum target, GLenum attachment, GLenum textarget, GLuint texture, GLint level),
          (target, attachment, textarget, texture, level))
OES_ENTRY(void, glGetFramebufferAttachmentParameterivOES,
          PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVOESPROC,
          (GLenum target, GLenum attachment, GLenum pname, GLint* params),
          (target, attachment, pname, params))
OES_ENTRY(void, glGenerateMipmapOES, PFNGLGENERATEMIPMAPOESPROC, (GLenum target), (target))

#include "GLTarget.h"

namespace testsupport {

GLTarget::GLTarget() : context_(EAGLContext::create(kEAGLRenderingAPIOpenGLES1)) {
    if (!context_ || !EAGLContext::setCurrentContext(context_)) {
        context_.reset();
        return;
    }
    glGenFramebuffersOES(1, &framebuffer_);
    glGenRenderbuffersOES(1, &renderbuffer_);
}

GLTarget::~GLTarget() {
    if (!context_) return;
    glDeleteFramebuffersOES(1, &framebuffer_);
    glDeleteRenderbuffersOES(1, &renderbuffer_);
    EAGLContext::setCurrentContext(nullptr);
}

bool GLTarget::attach(const std::shared_ptr<EAGLDrawable>& drawable) {
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer_);
    if (!context_->renderbufferStorage(GL_RENDERBUFFER_OES, drawable)) return false;
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                 renderbuffer_);
    return glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES;
}

void drawRedOverColour(GLfloat r, GLfloat g, GLfloat b, GLfloat a, int width, int height) {
    glViewport(0, 0, width, height);
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat upperHalf[] = {-1, 0, 1, 0, -1, 1, 1, 1};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, upperHalf);
    glColor4f(1, 0, 0, 1);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace testsupport

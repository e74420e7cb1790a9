#pragma once

#include <memory>

#include "OpenGLES/EAGLContext.h"

namespace testsupport {

// A GL ES 1.1 context, current for the life of the object, with one framebuffer and one colour
// renderbuffer, all released when it goes. On a machine where EGL cannot make the context,
// context() is null and the test skips.
class GLTarget {
  public:
    GLTarget();
    ~GLTarget();
    GLTarget(const GLTarget&) = delete;
    GLTarget& operator=(const GLTarget&) = delete;

    const std::shared_ptr<EAGLContext>& context() const { return context_; }
    GLuint framebuffer() const { return framebuffer_; }
    GLuint renderbuffer() const { return renderbuffer_; }

    // Binds both, gives the renderbuffer the drawable's storage and makes it the colour buffer;
    // false when the storage is refused or the framebuffer is not complete.
    bool attach(const std::shared_ptr<EAGLDrawable>& drawable);

  private:
    std::shared_ptr<EAGLContext> context_;
    GLuint framebuffer_ = 0;
    GLuint renderbuffer_ = 0;
};

// Clears a viewport of the size to the colour and paints its upper half opaque red (GL's y grows
// upwards), so that a frame read back shows which way up it came.
void drawRedOverColour(GLfloat r, GLfloat g, GLfloat b, GLfloat a, int width, int height);

}  // namespace testsupport

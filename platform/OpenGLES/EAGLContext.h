#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "Foundation/NSObject.h"
#include "OpenGLES/EAGLDrawable.h"
#include "OpenGLES/ES1.h"

enum EAGLRenderingAPI { kEAGLRenderingAPIOpenGLES1 = 1 };

// A GL ES 1.1 context on headless Mesa EGL. It has no window surface: drawing goes into
// framebuffer objects whose colour renderbuffer takes its storage from a drawable, and
// presenting reads that renderbuffer back into the drawable.
class EAGLContext : public NSObject {
  public:
    ~EAGLContext() override;

    // Null when the API is not ES 1 or EGL cannot make a context on this machine.
    static std::shared_ptr<EAGLContext> create(EAGLRenderingAPI api);
    // Binds the context to the calling thread (null unbinds); false when EGL refuses.
    static bool setCurrentContext(const std::shared_ptr<EAGLContext>& context);
    static std::shared_ptr<EAGLContext> currentContext();

    EAGLRenderingAPI API() const { return kEAGLRenderingAPIOpenGLES1; }

    // Gives the bound renderbuffer RGBA storage of the drawable's size (0 x 0 for null) and
    // remembers the drawable as its presentation target. The context must be current.
    bool renderbufferStorage(GLenum target, const std::shared_ptr<EAGLDrawable>& drawable);
    // Reads the bound renderbuffer into its drawable. The context must be current.
    bool presentRenderbuffer(GLenum target);

  private:
    struct Native;
    explicit EAGLContext(std::unique_ptr<Native> native);
    bool makeCurrent();
    bool readsBGRA();

    std::unique_ptr<Native> native_;
    GLuint readFramebuffer_ = 0;
    std::map<GLuint, std::weak_ptr<EAGLDrawable>> drawables_;
    std::optional<bool> readsBGRA_;
    // Kept between frames so presenting does not allocate.
    std::vector<std::uint8_t> readBuffer_;
};

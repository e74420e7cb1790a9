#include "EAGLContext.h"

#define EGL_NO_X11 1
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <mutex>
#include <string_view>

namespace {

bool hasExtension(const char* list, std::string_view name) {
    if (list == nullptr) return false;
    std::string_view all(list);
    for (size_t pos = 0; (pos = all.find(name, pos)) != std::string_view::npos;
         pos += name.size()) {
        const bool startOk = pos == 0 || all[pos - 1] == ' ';
        const size_t end = pos + name.size();
        if (startOk && (end == all.size() || all[end] == ' ')) return true;
    }
    return false;
}

// One display for the process, opened on first use and kept for its lifetime: contexts on any
// thread share it, and EGL counts initialisations rather than owning them per caller.
struct Display {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    bool surfaceless = false;
};

const Display& sharedDisplay() {
    static Display shared;
    static std::once_flag once;
    std::call_once(once, [] {
        Display d;
        const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
            auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
                eglGetProcAddress("eglGetPlatformDisplayEXT"));
            if (getPlatformDisplay != nullptr) {
                d.display =
                    getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            }
        }
        if (d.display == EGL_NO_DISPLAY) d.display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (d.display == EGL_NO_DISPLAY || !eglInitialize(d.display, nullptr, nullptr)) return;
        if (!eglBindAPI(EGL_OPENGL_ES_API)) return;
        const EGLint attributes[] = {EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_ES_BIT,
                                     EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(d.display, attributes, &d.config, 1, &count) || count < 1) return;
        d.surfaceless =
            hasExtension(eglQueryString(d.display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context");
        shared = d;
    });
    return shared;
}

// The thread's current context. A context still current when its last reference goes is only
// marked for deletion by EGL, and the driver keeps its state and rasteriser threads until the
// thread releases it; so a thread that ends (the main thread too, before the process's exit
// handlers run) first releases its context, then drops it.
struct CurrentContext {
    std::shared_ptr<EAGLContext> context;

    ~CurrentContext() {
        if (context == nullptr) return;
        const Display& d = sharedDisplay();
        eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        context.reset();
        eglReleaseThread();
    }
};

thread_local CurrentContext tCurrent;

}  // namespace

struct EAGLContext::Native {
    EGLContext context = EGL_NO_CONTEXT;
    // Only for displays that cannot make a context current without a surface.
    EGLSurface pbuffer = EGL_NO_SURFACE;

    ~Native() {
        const Display& d = sharedDisplay();
        if (pbuffer != EGL_NO_SURFACE) eglDestroySurface(d.display, pbuffer);
        if (context != EGL_NO_CONTEXT) eglDestroyContext(d.display, context);
    }
};

EAGLContext::EAGLContext(std::unique_ptr<Native> native) : native_(std::move(native)) {}

EAGLContext::~EAGLContext() = default;

std::shared_ptr<EAGLContext> EAGLContext::create(EAGLRenderingAPI api) {
    if (api != kEAGLRenderingAPIOpenGLES1) return nullptr;
    const Display& d = sharedDisplay();
    if (d.config == nullptr) return nullptr;
    auto native = std::make_unique<Native>();
    const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
    native->context = eglCreateContext(d.display, d.config, EGL_NO_CONTEXT, contextAttributes);
    if (native->context == EGL_NO_CONTEXT) return nullptr;
    if (!d.surfaceless) {
        const EGLint surfaceAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        native->pbuffer = eglCreatePbufferSurface(d.display, d.config, surfaceAttributes);
        if (native->pbuffer == EGL_NO_SURFACE) return nullptr;
    }
    return std::shared_ptr<EAGLContext>(new EAGLContext(std::move(native)));
}

bool EAGLContext::makeCurrent() {
    return eglMakeCurrent(sharedDisplay().display, native_->pbuffer, native_->pbuffer,
                          native_->context) == EGL_TRUE;
}

bool EAGLContext::setCurrentContext(const std::shared_ptr<EAGLContext>& context) {
    if (context == nullptr) {
        const Display& d = sharedDisplay();
        if (tCurrent.context != nullptr &&
            !eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT)) {
            return false;
        }
        tCurrent.context.reset();
        return true;
    }
    if (!context->makeCurrent()) return false;
    tCurrent.context = context;
    return true;
}

std::shared_ptr<EAGLContext> EAGLContext::currentContext() { return tCurrent.context; }

bool EAGLContext::renderbufferStorage(GLenum target,
                                      const std::shared_ptr<EAGLDrawable>& drawable) {
    if (target != GL_RENDERBUFFER_OES || tCurrent.context.get() != this) return false;
    GLint renderbuffer = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING_OES, &renderbuffer);
    if (renderbuffer == 0) return false;
    const GLsizei width = drawable ? drawable->drawableWidth() : 0;
    const GLsizei height = drawable ? drawable->drawableHeight() : 0;
    // Drop errors left by earlier calls so the check below sees only this one.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    const GLenum format = drawable && drawable->colorStorage() == EAGLColorStorage::RGB565
                              ? GL_RGB565_OES
                              : GL_RGBA8_OES;
    glRenderbufferStorageOES(target, format, width, height);
    if (glGetError() != GL_NO_ERROR) return false;
    if (drawable) {
        drawables_[static_cast<GLuint>(renderbuffer)] = drawable;
    } else {
        drawables_.erase(static_cast<GLuint>(renderbuffer));
    }
    return true;
}

bool EAGLContext::presentRenderbuffer(GLenum target) {
    if (target != GL_RENDERBUFFER_OES || tCurrent.context.get() != this) return false;
    GLint renderbuffer = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING_OES, &renderbuffer);
    const auto found = drawables_.find(static_cast<GLuint>(renderbuffer));
    if (found == drawables_.end()) return false;
    const std::shared_ptr<EAGLDrawable> drawable = found->second.lock();
    if (!drawable) {
        drawables_.erase(found);
        return false;
    }
    GLint width = 0, height = 0;
    glGetRenderbufferParameterivOES(target, GL_RENDERBUFFER_WIDTH_OES, &width);
    glGetRenderbufferParameterivOES(target, GL_RENDERBUFFER_HEIGHT_OES, &height);
    if (width <= 0 || height <= 0) {
        drawable->presentFrame(nullptr, 0, 0, EAGLPixelOrder::RGBA);
        return true;
    }
    // Read through a framebuffer of our own so the caller's bindings stay as they were.
    GLint previousFramebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &previousFramebuffer);
    if (readFramebuffer_ == 0) glGenFramebuffersOES(1, &readFramebuffer_);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, readFramebuffer_);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                 static_cast<GLuint>(renderbuffer));
    // One read per frame, in the drawable's own byte order when GL offers it, so the drawable
    // has nothing left to do but order the rows.
    const EAGLPixelOrder order =
        drawable->preferredPixelOrder() == EAGLPixelOrder::BGRA && readsBGRA()
            ? EAGLPixelOrder::BGRA
            : EAGLPixelOrder::RGBA;
    readBuffer_.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, order == EAGLPixelOrder::BGRA ? GL_BGRA_EXT : GL_RGBA,
                 GL_UNSIGNED_BYTE, readBuffer_.data());
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(previousFramebuffer));
    drawable->presentFrame(readBuffer_.data(), width, height, order);
    return true;
}

bool EAGLContext::readsBGRA() {
    if (!readsBGRA_) {
        const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        readsBGRA_ = hasExtension(extensions, "GL_EXT_read_format_bgra");
    }
    return *readsBGRA_;
}

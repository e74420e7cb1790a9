#include <gtest/gtest.h>

#include <thread>

#include "OpenGLES/EAGLContext.h"
#include "RgbaPixels.h"

namespace {

class EAGLContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        context = EAGLContext::create(kEAGLRenderingAPIOpenGLES1);
        if (!context) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        ASSERT_TRUE(EAGLContext::setCurrentContext(context));
    }
    void TearDown() override {
        if (framebuffer != 0) glDeleteFramebuffersOES(1, &framebuffer);
        if (renderbuffer != 0) glDeleteRenderbuffersOES(1, &renderbuffer);
        EAGLContext::setCurrentContext(nullptr);
    }

    // A framebuffer whose colour renderbuffer takes its storage from the drawable.
    void makeFramebuffer(const std::shared_ptr<EAGLDrawable>& drawable) {
        glGenFramebuffersOES(1, &framebuffer);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer);
        glGenRenderbuffersOES(1, &renderbuffer);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer);
        ASSERT_TRUE(context->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES,
                                     GL_RENDERBUFFER_OES, renderbuffer);
    }

    static testsupport::Rgba pixel(const EAGLPixels& p, int x, int y) {
        return testsupport::rgbaAt(p.rgba, p.width, x, y);
    }

    std::shared_ptr<EAGLContext> context;
    GLuint framebuffer = 0;
    GLuint renderbuffer = 0;
};

TEST_F(EAGLContextTest, ContextIsGLES11AndCurrentPerThread) {
    EXPECT_EQ(EAGLContext::currentContext(), context);
    const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    EXPECT_NE(version.find("OpenGL ES-CM 1.1"), std::string::npos) << version;
    const std::string extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    EXPECT_NE(extensions.find("GL_OES_framebuffer_object"), std::string::npos);

    std::shared_ptr<EAGLContext> seenOnOtherThread = context;
    std::thread([&] { seenOnOtherThread = EAGLContext::currentContext(); }).join();
    EXPECT_EQ(seenOnOtherThread, nullptr);

    EXPECT_TRUE(EAGLContext::setCurrentContext(nullptr));
    EXPECT_EQ(EAGLContext::currentContext(), nullptr);
}

TEST_F(EAGLContextTest, PresentReadsTheRenderbufferTopRowFirst) {
    auto drawable = std::make_shared<EAGLDrawable>();
    drawable->setDrawableSize(8, 4);
    makeFramebuffer(drawable);
    ASSERT_EQ(glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES), GLenum(GL_FRAMEBUFFER_COMPLETE_OES));
    GLint width = 0, height = 0;
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_WIDTH_OES, &width);
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_HEIGHT_OES, &height);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 4);

    glViewport(0, 0, 8, 4);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    // Red over the upper half of the viewport (GL's y grows upwards).
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

    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    const EAGLPixels& shown = drawable->presentedPixels();
    ASSERT_EQ(shown.width, 8);
    ASSERT_EQ(shown.height, 4);
    ASSERT_EQ(shown.rgba.size(), 8u * 4u * 4u);
    EXPECT_EQ(pixel(shown, 0, 0), (testsupport::Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(shown, 7, 1), (testsupport::Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(shown, 0, 2), (testsupport::Rgba{0, 0, 255, 255}));
    EXPECT_EQ(pixel(shown, 7, 3), (testsupport::Rgba{0, 0, 255, 255}));

    // The caller's framebuffer stays bound after the read-back.
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), framebuffer);
}

TEST_F(EAGLContextTest, StorageFollowsTheDrawableAndNeedsOne) {
    auto drawable = std::make_shared<EAGLDrawable>();
    drawable->setDrawableSize(-3, 5);
    EXPECT_EQ(drawable->drawableWidth(), 0);

    glGenRenderbuffersOES(1, &renderbuffer);
    // No renderbuffer bound yet: nothing to give storage to.
    EXPECT_FALSE(context->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer);
    EXPECT_FALSE(context->renderbufferStorage(GL_TEXTURE_2D, drawable));

    // A zero-sized drawable presents an empty frame.
    EXPECT_TRUE(context->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
    EXPECT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    EXPECT_EQ(drawable->presentedPixels().width, 0);
    EXPECT_TRUE(drawable->presentedPixels().rgba.empty());

    // Without a drawable the renderbuffer has nowhere to present.
    EXPECT_TRUE(context->renderbufferStorage(GL_RENDERBUFFER_OES, nullptr));
    EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));

    drawable->setDrawableSize(2, 2);
    EXPECT_TRUE(context->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
    drawable.reset();
    EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
}

TEST_F(EAGLContextTest, ContextMustBeCurrentToTakeStorage) {
    auto other = EAGLContext::create(kEAGLRenderingAPIOpenGLES1);
    ASSERT_NE(other, nullptr);
    auto drawable = std::make_shared<EAGLDrawable>();
    drawable->setDrawableSize(2, 2);
    EXPECT_FALSE(other->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
    EXPECT_FALSE(other->presentRenderbuffer(GL_RENDERBUFFER_OES));
}

}  // namespace

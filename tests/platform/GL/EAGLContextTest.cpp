#include <gtest/gtest.h>

#include <thread>

#include "GLTarget.h"
#include "OpenGLES/EAGLContext.h"
#include "RgbaPixels.h"

namespace {

class EAGLContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!context) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
    }

    static testsupport::Rgba pixel(const EAGLPixels& p, int x, int y) {
        return testsupport::rgbaAt(p.rgba, p.width, x, y);
    }

    testsupport::GLTarget gl;
    const std::shared_ptr<EAGLContext>& context = gl.context();
};

TEST_F(EAGLContextTest, ContextIsGLES11CurrentPerThreadAndPresentReadsTheTopRowFirst) {
    const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    EXPECT_NE(version.find("OpenGL ES-CM 1.1"), std::string::npos) << version;
    std::shared_ptr<EAGLContext> seenOnOtherThread = context;
    std::thread([&] { seenOnOtherThread = EAGLContext::currentContext(); }).join();
    EXPECT_EQ(seenOnOtherThread, nullptr);

    auto drawable = std::make_shared<EAGLDrawable>();
    drawable->setDrawableSize(8, 4);
    ASSERT_TRUE(gl.attach(drawable));
    testsupport::drawRedOverColour(0, 0, 1, 1, 8, 4);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    const EAGLPixels& shown = drawable->presentedPixels();
    ASSERT_EQ(shown.width, 8);
    ASSERT_EQ(shown.height, 4);
    EXPECT_EQ(pixel(shown, 7, 1), (testsupport::Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(shown, 0, 2), (testsupport::Rgba{0, 0, 255, 255}));

    // The caller's framebuffer stays bound after the read-back.
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), gl.framebuffer());

    EXPECT_EQ(EAGLContext::currentContext(), context);
    EXPECT_TRUE(EAGLContext::setCurrentContext(nullptr));
    EXPECT_EQ(EAGLContext::currentContext(), nullptr);
}

TEST_F(EAGLContextTest, StorageFollowsTheDrawableAndNeedsOneAndACurrentContext) {
    auto drawable = std::make_shared<EAGLDrawable>();
    drawable->setDrawableSize(-3, 5);
    EXPECT_EQ(drawable->drawableWidth(), 0);

    // No renderbuffer bound yet: nothing to give storage to.
    EXPECT_FALSE(context->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, gl.renderbuffer());
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
    // A context that is not current takes no storage.
    auto other = EAGLContext::create(kEAGLRenderingAPIOpenGLES1);
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(other->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
    EXPECT_FALSE(other->presentRenderbuffer(GL_RENDERBUFFER_OES));
    drawable.reset();
    EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
}

}  // namespace

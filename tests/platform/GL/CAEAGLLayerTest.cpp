#include <gtest/gtest.h>

#include <cmath>

#include "GLTarget.h"
#include "OpenGLES/EAGLContext.h"
#include "QuartzCore/CAEAGLLayer.h"
#include "ScreenPixels.h"
#include "UIKit/UIView.h"
#include "host/HeadlessHost.h"

namespace {

using testsupport::colourNear;

class GLView : public UIView {
  public:
    static std::shared_ptr<GLView> create(CGRect frame) {
        return finishCreate(std::shared_ptr<GLView>(new GLView()), frame);
    }
    std::shared_ptr<CAEAGLLayer> glLayer() const {
        return std::static_pointer_cast<CAEAGLLayer>(layer());
    }

  protected:
    std::shared_ptr<CALayer> makeLayer() const override { return CAEAGLLayer::layer(); }
};

class CAEAGLLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!context) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
    }

    GLint renderbufferValue(GLenum name) {
        GLint v = 0;
        glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, name, &v);
        return v;
    }

    testsupport::GLTarget gl;
    const std::shared_ptr<EAGLContext>& context = gl.context();
};

TEST_F(CAEAGLLayerTest, StorageTakesTheLayersPixelSizeAndColourFormat) {
    auto layer = CAEAGLLayer::layer();
    layer->setBounds(CGRectMake(0, 0, 30.4, 20));
    layer->setContentsScale(2);
    ASSERT_TRUE(gl.attach(layer));
    EXPECT_EQ(renderbufferValue(GL_RENDERBUFFER_WIDTH_OES), 61);
    EXPECT_EQ(renderbufferValue(GL_RENDERBUFFER_HEIGHT_OES), 40);
    EXPECT_EQ(renderbufferValue(GL_RENDERBUFFER_INTERNAL_FORMAT_OES), GL_RGBA8_OES);

    layer->setDrawableProperties({.retainedBacking = false, .colorFormat = kEAGLColorFormatRGB565});
    layer->setBounds(CGRectMake(0, 0, 8, 4));
    layer->setContentsScale(1);
    ASSERT_TRUE(gl.attach(layer));
    EXPECT_EQ(renderbufferValue(GL_RENDERBUFFER_WIDTH_OES), 8);
    EXPECT_EQ(renderbufferValue(GL_RENDERBUFFER_INTERNAL_FORMAT_OES), GL_RGB565_OES);

    testsupport::drawRedOverColour(0, 0, 1, 1, 8, 4);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    ASSERT_NE(layer->contents(), nullptr);
    // 565 has no alpha: the frame composes opaque although the layer is not.
    EXPECT_TRUE(colourNear(layer->contents()->pixelAt(0, 3), {0, 0, 1, 1}));

    // A layer without size gives an empty buffer that presents no contents.
    layer->setBounds(CGRectZero);
    ASSERT_TRUE(context->renderbufferStorage(GL_RENDERBUFFER_OES, layer));
    EXPECT_EQ(renderbufferValue(GL_RENDERBUFFER_WIDTH_OES), 0);
    EXPECT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    EXPECT_EQ(layer->contents(), nullptr);
}

TEST_F(CAEAGLLayerTest, PresentPutsTheFrameUprightIntoTheContents) {
    struct Case {
        bool opaque;
        GLfloat alpha;  // of the lower half
        CGColor lower;
    };
    for (const Case& c : {Case{true, 1, {0, 0, 1, 1}}, Case{false, 1, {0, 0, 1, 1}},
                          Case{false, 0.5, {0, 0, 1, 0.5}}, Case{true, 0.5, {0, 0, 1, 1}}}) {
        SCOPED_TRACE(testing::Message() << "opaque " << c.opaque << " alpha " << c.alpha);
        auto layer = CAEAGLLayer::layer();
        layer->setOpaque(c.opaque);
        layer->setBounds(CGRectMake(0, 0, 4, 2));
        layer->setContentsScale(2);
        ASSERT_TRUE(gl.attach(layer));
        testsupport::drawRedOverColour(0, 0, 1, c.alpha, 8, 4);
        ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
        const CGImageRef image = layer->contents();
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->height(), 4);
        EXPECT_TRUE(colourNear(image->pixelAt(7, 1), {1, 0, 0, 1}));
        EXPECT_TRUE(colourNear(image->pixelAt(0, 2), c.lower));
        // The plain drawable's copy is not kept for a layer: its contents are the frame.
        EXPECT_TRUE(layer->presentedPixels().rgba.empty());
    }
}

// A steady frame writes over the last one's image; an image someone still holds (a picture
// taken of the screen) keeps what it showed, and the frame gets an image of its own.
TEST_F(CAEAGLLayerTest, FramesReuseTheirImageUnlessItIsHeld) {
    auto layer = CAEAGLLayer::layer();
    layer->setOpaque(true);
    layer->setBounds(CGRectMake(0, 0, 4, 2));
    layer->setContentsScale(2);
    ASSERT_TRUE(gl.attach(layer));
    testsupport::drawRedOverColour(0, 0, 1, 1, 8, 4);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    const CGImage* first = layer->contents().get();
    testsupport::drawRedOverColour(0, 1, 0, 1, 8, 4);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    EXPECT_EQ(layer->contents().get(), first);
    EXPECT_TRUE(colourNear(layer->contents()->pixelAt(0, 3), {0, 1, 0, 1}));

    const CGImageRef held = layer->contents();
    testsupport::drawRedOverColour(1, 1, 0, 1, 8, 4);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    EXPECT_NE(layer->contents(), held);
    EXPECT_TRUE(colourNear(held->pixelAt(0, 3), {0, 1, 0, 1}));
    EXPECT_TRUE(colourNear(layer->contents()->pixelAt(0, 3), {1, 1, 0, 1}));

    // Turned translucent, the frame needs an image with alpha.
    layer->setOpaque(false);
    const CGImage* opaqueImage = layer->contents().get();
    testsupport::drawRedOverColour(0, 0, 1, 0.5, 8, 4);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    EXPECT_NE(layer->contents().get(), opaqueImage);
    EXPECT_TRUE(colourNear(layer->contents()->pixelAt(0, 3), {0, 0, 1, 0.5}));
}

TEST_F(CAEAGLLayerTest, ComposedScreenShowsTheGLContentWhereTheViewIs) {
    HeadlessHost host;
    auto view = GLView::create(CGRectMake(40, 100, 50, 30));
    view->layer()->setContentsScale(2);
    view->layer()->setOpaque(true);
    host.window()->addSubview(view);
    ASSERT_TRUE(gl.attach(view->glLayer()));
    testsupport::drawRedOverColour(0, 1, 0, 1, 100, 60);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));

    const CGImageRef screen = host.compose();
    ASSERT_NE(screen, nullptr);
    // Screen scale 2: the view covers pixels (80, 200) to (180, 260).
    EXPECT_TRUE(colourNear(screen->pixelAt(82, 202), {1, 0, 0, 1}));
    EXPECT_TRUE(colourNear(screen->pixelAt(178, 258), {0, 1, 0, 1}));
    EXPECT_FALSE(colourNear(screen->pixelAt(78, 230), {0, 1, 0, 1}));
    EXPECT_FALSE(colourNear(screen->pixelAt(182, 230), {0, 1, 0, 1}));

    // A new frame replaces what the screen shows.
    testsupport::drawRedOverColour(0, 0, 1, 1, 100, 60);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
    EXPECT_TRUE(host.needsCompose());
    EXPECT_TRUE(colourNear(host.compose()->pixelAt(100, 250), {0, 0, 1, 1}));
}

}  // namespace

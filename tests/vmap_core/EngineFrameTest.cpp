#include <array>
#include <cmath>

#include "EngineFixture.h"
#include "OpenGLES/EAGLContext.h"

namespace {

using Rgba = std::array<int, 4>;

// Frames drawn into an offscreen framebuffer of a real GL ES 1.1 context and read back.
class EngineFrameTest : public EngineFixture {
  protected:
    void SetUp() override {
        context = EAGLContext::create(kEAGLRenderingAPIOpenGLES1);
        if (!context) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        ASSERT_TRUE(EAGLContext::setCurrentContext(context));
        EngineFixture::SetUp();
    }

    void TearDown() override {
        EngineFixture::TearDown();
        if (!context) return;
        glDeleteFramebuffersOES(1, &framebuffer);
        glDeleteRenderbuffersOES(1, &renderbuffer);
        EAGLContext::setCurrentContext(nullptr);
    }

    void makeSurface(int width, int height) {
        drawable->setDrawableSize(width, height);
        glGenFramebuffersOES(1, &framebuffer);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer);
        glGenRenderbuffersOES(1, &renderbuffer);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer);
        ASSERT_TRUE(context->renderbufferStorage(GL_RENDERBUFFER_OES, drawable));
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES,
                                     GL_RENDERBUFFER_OES, renderbuffer);
        ASSERT_EQ(glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES),
                  GLenum(GL_FRAMEBUFFER_COMPLETE_OES));
        mapEngineSetSurfaceSize(engine, width, height);
    }

    const EAGLPixels& renderAndPresent() {
        mapEngineRenderFrame(engine);
        EXPECT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
        return drawable->presentedPixels();
    }

    static Rgba pixel(const EAGLPixels& p, int x, int y) {
        const size_t at = (static_cast<size_t>(y) * p.width + x) * 4;
        return {p.rgba[at], p.rgba[at + 1], p.rgba[at + 2], p.rgba[at + 3]};
    }

    static void expectColour(const Rgba& actual, const Rgba& expected) {
        for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], 1) << "channel " << i;
    }

    static constexpr Rgba kBackground{243, 241, 236, 255};
    static constexpr Rgba kLand{224, 232, 208, 255};

    std::shared_ptr<EAGLContext> context;
    std::shared_ptr<EAGLDrawable> drawable = std::make_shared<EAGLDrawable>();
    GLuint framebuffer = 0;
    GLuint renderbuffer = 0;
};

TEST_F(EngineFrameTest, BackgroundAndAHeldGridShowWhereTheyLie) {
    makeSurface(500, 250);
    setView(kPairCenterX, kPairCenterY, 4.0f);
    const EAGLPixels& empty = renderAndPresent();
    ASSERT_EQ(empty.width, 500);
    expectColour(pixel(empty, 125, 125), kBackground);
    expectColour(pixel(empty, 375, 125), kBackground);

    // "1320" is the western one of the two grids.
    ASSERT_EQ(put(0, body("1320")), 1);
    ASSERT_TRUE(renderUntilHeld(0, "1320"));
    const EAGLPixels& shown = renderAndPresent();
    expectColour(pixel(shown, 10, 10), kLand);
    expectColour(pixel(shown, 240, 240), kLand);
    expectColour(pixel(shown, 260, 10), kBackground);
    expectColour(pixel(shown, 490, 240), kBackground);
}

TEST_F(EngineFrameTest, CoarserHeldGridCoversAMissingOne) {
    makeSurface(500, 250);
    setView(kPairCenterX, kPairCenterY, 5.0f);
    // Level 3 grid "132" holds both level-4 grids in view and more.
    ASSERT_EQ(put(0, body("132")), 1);
    ASSERT_EQ(put(0, body("13213")), 1);
    ASSERT_TRUE(mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + kStoreDeadline));
    const EAGLPixels& frame = renderAndPresent();
    expectColour(pixel(frame, 10, 10), kLand);
    expectColour(pixel(frame, 490, 240), kLand);
}

TEST_F(EngineFrameTest, OverlaysDrawnAtLevelOneLandWhereTheProjectionSays) {
    makeSurface(400, 600);
    setView(kPairCenterX + 12345, kPairCenterY - 6789, 14.6f, 45, 30);
    // A map point ahead and to the side of the centre, in the tilted, turned view.
    const int32_t mapX = kPairCenterX + 12345 + 3000;
    const int32_t mapY = kPairCenterY - 6789 - 5000;
    recorder.onRenderMap = [&](int state) {
        if (state != kRenderStateOverlayLevel1) return;
        float gx = 0, gy = 0;
        mapEngineMapToGL(mapEngineGetViewState(engine), mapX, mapY, &gx, &gy);
        const GLfloat square[] = {gx - 2, gy - 2, gx + 2, gy - 2, gx - 2, gy + 2, gx + 2, gy + 2};
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, square);
        glColor4f(1, 0, 0, 1);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glDisableClientState(GL_VERTEX_ARRAY);
    };
    const EAGLPixels& frame = renderAndPresent();
    const MapViewState* view = mapEngineGetViewState(engine);
    float gx = 0, gy = 0;
    mapEngineMapToGL(view, mapX, mapY, &gx, &gy);
    double sx = -1, sy = -1;
    mapEngineGLToScreen(view, &sx, &sy, gx, gy);
    ASSERT_GT(sx, 10);
    ASSERT_LT(sx, 390);
    ASSERT_GT(sy, 10);
    ASSERT_LT(sy, 300);
    expectColour(pixel(frame, static_cast<int>(sx), static_cast<int>(sy)), {255, 0, 0, 255});
    expectColour(pixel(frame, static_cast<int>(sx) + 8, static_cast<int>(sy)), kBackground);
    expectColour(pixel(frame, 200, 300), kBackground);
}

}  // namespace

#include <zlib.h>

#include <array>

#include "EngineFixture.h"
#include "GLTarget.h"
#include "GridFeatureBytes.h"
#include "RgbaPixels.h"

namespace {

using testsupport::Rgba;

// Frames drawn into an offscreen framebuffer of a real GL ES 1.1 context and read back.
class EngineFrameTest : public EngineFixture {
  protected:
    void SetUp() override {
        if (!context) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        EngineFixture::SetUp();
    }

    void makeSurface(int width, int height) {
        drawable->setDrawableSize(width, height);
        ASSERT_TRUE(gl.attach(drawable));
        mapEngineSetSurfaceSize(engine, width, height);
    }

    const EAGLPixels& renderAndPresent() {
        mapEngineRenderFrame(engine);
        EXPECT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER_OES));
        return drawable->presentedPixels();
    }

    // Where the engine's projection puts the map point on the screen.
    std::pair<int, int> screenOf(int32_t x, int32_t y) {
        const MapViewState* view = mapEngineGetViewState(engine);
        float gx = 0, gy = 0;
        mapEngineMapToGL(view, x, y, &gx, &gy);
        double sx = 0, sy = 0;
        mapEngineGLToScreen(view, &sx, &sy, gx, gy);
        return {static_cast<int>(sx), static_cast<int>(sy)};
    }
    static Rgba pixel(const EAGLPixels& p, int x, int y) {
        return testsupport::rgbaAt(p.rgba, p.width, x, y);
    }
    static void expectColour(const Rgba& actual, const Rgba& expected) {
        EXPECT_TRUE(testsupport::rgbaNear(actual, expected));
    }

    static constexpr Rgba kBackground{243, 241, 236, 255};
    static constexpr Rgba kLand{224, 232, 208, 255};

    testsupport::GLTarget gl;
    const std::shared_ptr<EAGLContext>& context = gl.context();
    std::shared_ptr<EAGLDrawable> drawable = std::make_shared<EAGLDrawable>();
};

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
    const auto [sx, sy] = screenOf(mapX, mapY);
    ASSERT_GT(sx, 10);
    ASSERT_LT(sx, 390);
    ASSERT_GT(sy, 10);
    ASSERT_LT(sy, 300);
    expectColour(pixel(frame, sx, sy), {255, 0, 0, 255});
    expectColour(pixel(frame, sx + 8, sy), kBackground);
    expectColour(pixel(frame, 200, 300), kBackground);
}

// The centres of the level-4 grids "1320" and "1321" in the pair view.
constexpr int32_t kWestX = (12 << 24) + (1 << 23);
constexpr int32_t kPairY = (6 << 24) + (1 << 23);

std::vector<uint8_t> style(std::vector<std::array<uint8_t, 4>> roles) {
    std::vector<uint8_t> table{'V', 'M', 'S', 'T', 1, static_cast<uint8_t>(roles.size())};
    for (const auto& [role, r, g, b] : roles) table.insert(table.end(), {role, 255, r, g, b});
    std::vector<uint8_t> packed(compressBound(table.size()));
    uLongf size = packed.size();
    compress(packed.data(), &size, table.data(), table.size());
    packed.resize(size);
    return packed;
}

class EngineFeatureTest : public EngineFrameTest {
  protected:
    void SetUp() override {
        EngineFrameTest::SetUp();
        if (!context) return;
        makeSurface(500, 250);
        setView(kPairCenterX, kPairCenterY, 4.0f);
        // Glyphs as solid squares one advance wide, so a label's box is all ink.
        recorder.onLabelsRequired = [this](const uint16_t* codes, int count) {
            const std::vector<uint8_t> square(24 * 24, 255);
            for (int i = 0; i < count; ++i)
                mapEnginePutGlyphBitmaps(engine, codes[i], square.data(), 24);
        };
        recorder.onCharWidths = [](const uint16_t*, int count, uint8_t* widths) {
            std::fill(widths, widths + count, 24);
        };
    }

    bool glyphsArrived() {
        return mapEngineWaitForRequests(engine, std::chrono::steady_clock::now() + kStoreDeadline);
    }
};

TEST_F(EngineFeatureTest, BackgroundAndAHeldGridShowWhereTheyLie) {
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

TEST_F(EngineFeatureTest, StyleSetsTheBackgroundAndABrokenOneKeepsTheLast) {
    const auto night = style({{0, 27, 34, 51}});
    mapEngineSetStyle(engine, night.data(), static_cast<int32_t>(night.size()), 0, 1);
    expectColour(pixel(renderAndPresent(), 250, 125), {27, 34, 51, 255});
    const uint8_t broken[] = {1, 2, 3};
    mapEngineSetStyle(engine, broken, 3, 0, 1);
    expectColour(pixel(renderAndPresent(), 250, 125), {27, 34, 51, 255});
    const auto calls = mapEngineCalls(engine);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].bytes, night);
    EXPECT_EQ(calls.back().bytes, std::vector<uint8_t>(broken, broken + 3));
}

TEST_F(EngineFeatureTest, MalformedFeaturesAreRefused) {
    const auto valid = testsupport::GridFeatureBytes().point(kWestX, kPairY, u"a", true).bytes();
    std::vector<std::vector<uint8_t>> bad = {
        {valid.begin(), valid.end() - 1},                                       // name cut short
        {'V', 'M', 'F', '1', 9},                                                // unknown item
        testsupport::GridFeatureBytes().segment(4, {{1, 1}, {2, 2}}).bytes(),   // state above 3
        testsupport::GridFeatureBytes().segment(0, {{1, 1}}).bytes(),           // one point
        testsupport::GridFeatureBytes().point(1 << 28, 0, u"a", true).bytes(),  // off the plane
    };
    for (size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(put(0, body("1320", bad[i])), 0) << i;
    EXPECT_EQ(put(0, body("1320", valid)), 1);
}

TEST_F(EngineFeatureTest, OverlayLevelsLieBetweenTheGridAreasAndTheLabels) {
    const auto red = style({{3, 255, 0, 0}});
    mapEngineSetStyle(engine, red.data(), static_cast<int32_t>(red.size()), 0, 1);
    ASSERT_EQ(
        put(0, body("1320",
                    testsupport::GridFeatureBytes().point(kWestX, kPairY, u"门", false).bytes())),
        1);
    ASSERT_TRUE(mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + kStoreDeadline));
    // Level 0 a green square west of the point, level 1 a blue one east of it, overlapping.
    recorder.onRenderMap = [&](int state) {
        if (state != kRenderStateOverlayLevel0 && state != kRenderStateOverlayLevel1) return;
        const MapViewState* view = mapEngineGetViewState(engine);
        float gx = 0, gy = 0;
        mapEngineMapToGL(view, kWestX, kPairY, &gx, &gy);
        const float unit = (1 << 22) / view->mapUnitsPerGLX;  // 64 pixels
        const float left = state == kRenderStateOverlayLevel0 ? gx - unit : gx - unit / 2;
        const GLfloat square[] = {left, gy - unit / 2, left + unit, gy - unit / 2,
                                  left, gy + unit / 2, left + unit, gy + unit / 2};
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, square);
        if (state == kRenderStateOverlayLevel0) {
            glColor4f(0, 1, 0, 1);
        } else {
            glColor4f(0, 0, 1, 1);
        }
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glDisableClientState(GL_VERTEX_ARRAY);
    };
    renderAndPresent();
    ASSERT_TRUE(glyphsArrived());
    const auto [x, y] = screenOf(kWestX, kPairY);
    const EAGLPixels& frame = renderAndPresent();
    expectColour(pixel(frame, x - 50, y), {0, 255, 0, 255});
    expectColour(pixel(frame, x - 24, y + 20), {0, 0, 255, 255});
    expectColour(pixel(frame, x + 24, y + 20), {0, 0, 255, 255});
    expectColour(pixel(frame, x, y), {255, 0, 0, 255});
    expectColour(pixel(frame, x + 50, y), kLand);
}

}  // namespace

#include <cmath>
#include <cstdlib>
#include <random>
#include <tuple>

#include "CoreGraphics/CGImage.h"
#include "LogCapture.h"
#include "OverlayGLFixture.h"

namespace {

// What is not a number is left out; one number alone is no line.
TEST(Thinning, KeepsEndsAndPointsBeyondTheLimit) {
    const std::vector<std::pair<std::vector<CGPoint>, VMPointList>> cases{
        {{{1, 1}, {9, 9}}, {{1, 1}, {1, 1}, {9, 9}}},
        {{{0, 0}, {1, 0}, {2, 1}, {1, 2}, {2, 2}}, {{0, 0}, {2, 1}, {2, 2}}},
        {{{0, 0}, {3, 0}, {4, 0}, {4, 3}, {10, 10}}, {{0, 0}, {3, 0}, {4, 3}, {10, 10}}},
        {{{NAN, 0}, {0, 0}, {INFINITY, 5}, {10, 10}}, {{0, 0}, {0, 0}, {10, 10}}},
        {{{NAN, 0}, {1, 1}}, {}},
    };
    for (const auto& [in, want] : cases) {
        SCOPED_TRACE(in.size());
        VMPointList out;
        EXPECT_EQ(GLESUtility::filterOriginPoints(in.data(), in.size(), 2.5, out), !want.empty());
        if (!want.empty()) {
            EXPECT_EQ(out, want);
        }
    }
}

TEST(Reduction, ClipsOnlyListsOfMoreThanAHundredPoints) {
    const auto utility = GLESUtility::sharedUtility();
    const CGPoint window[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    utility->setClipWindow(window, 4);
    {
        testsupport::LogCapture log;
        const CGPoint three[] = {{0, 0}, {1, 0}, {1, 1}};
        utility->setClipWindow(three, 3);
        EXPECT_TRUE(log.contains("Clip window count only 4 temporarily."));
        EXPECT_EQ(utility->clipWindow()[2], (Vector3<float>{10, 10, 0}));
    }
    for (const std::size_t n : {100u, 101u}) {
        std::vector<CGPoint> line;
        for (std::size_t i = 0; i < n; ++i) line.push_back({double(i) * 5 - 101, 5});
        VMPolygonList result;
        utility->reducePoints(line.data(), line.size(), 0, 1, false, result);
        ASSERT_EQ(result.size(), 1u);
        // Beyond a hundred: the crossings and the two points inside.
        EXPECT_EQ(result[0].size(), n == 100 ? 100u : 4u);
    }
}

TEST(Merging, DropsPointsWithinTheToleranceOfTheirChord) {
    VMPointList line{{0, 0}, {1, 0.2f}, {2, -0.2f}, {3, 0}, {3.1f, 2}, {3, 4}};
    GLESUtility::simplify(line, 0.5, false);
    EXPECT_EQ(line, (VMPointList{{0, 0}, {3, 0}, {3, 4}}));
    VMPointList ring{{0, 0}, {2, 0.1f}, {4, 0}, {4, 4}, {2, 4.1f}, {0, 4}};
    GLESUtility::simplify(ring, 0.5, true);
    EXPECT_EQ(ring, (VMPointList{{0, 0}, {4, 0}, {4, 4}, {0, 4}}));
    VMPointList kept = ring;
    GLESUtility::simplify(kept, 0, true);
    EXPECT_EQ(kept, ring);
}

using LineDrawing = OverlayGLTest;

TEST_F(LineDrawing, MergingWithinAPixelMovesNothingFurtherThanAPixel) {
    // A track of right-angled legs sampled every 0.4 units with a jitter of a quarter unit.
    std::mt19937 random(3);
    std::uniform_real_distribution<double> jitter(-0.25, 0.25);
    std::vector<CGPoint> track;
    const CGPoint corners[] = {{6, 6}, {56, 6}, {56, 30}, {20, 30}, {20, 58}};
    for (std::size_t leg = 0; leg + 1 < 5; ++leg) {
        const CGPoint a = corners[leg], b = corners[leg + 1];
        const int steps = int(std::hypot(b.x - a.x, b.y - a.y) / 0.4);
        for (int k = 0; k < steps; ++k) {
            const double t = double(k) / steps;
            track.push_back(
                {a.x + (b.x - a.x) * t + jitter(random), a.y + (b.y - a.y) * t + jitter(random)});
        }
    }
    track.push_back(corners[4]);
    const auto utility = GLESUtility::sharedUtility();
    const auto draw = [&](double tolerance) {
        clearToWhite();
        utility->setMergeTolerance(tolerance);
        utility->drawColoredLinesWithPoints(track.data(), track.size(), UIColor::redColor(), 4,
                                            false, kVMLineJoinRound, 0, false, 0);
        const CGPoint square[] = {{30, 40}, {50, 40}, {50, 60}, {30, 60}};
        utility->drawRegionUsingTriangleFan(false, square, 4, UIColor::blueColor(), 2,
                                            UIColor::greenColor(), 0, false, 0, 0);
        return frame();
    };
    const auto full = draw(0);
    const auto merged = draw(1);
    utility->setMergeTolerance(0);
    // Every pixel of one frame has a pixel of the same paint within one pixel in the other:
    // white, or the colour whose channel leads. Shades differ where the unmerged track's many
    // soft edges overlap.
    const auto paint = [](const std::vector<std::uint8_t>& f, int x, int y) {
        if (x < 0 || y < 0 || x >= kSize || y >= kSize) return -1;
        const std::uint8_t* p = f.data() + 4 * (y * kSize + x);
        return std::min({p[0], p[1], p[2]}) > 200 ? 3 : int(std::max_element(p, p + 3) - p);
    };
    int differing = 0;
    for (const auto& [one, other] : {std::pair{&full, &merged}, std::pair{&merged, &full}}) {
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                bool matched = false;
                for (int d = 0; d < 9 && !matched; ++d)
                    matched = paint(*one, x, y) == paint(*other, x + d % 3 - 1, y + d / 3 - 1);
                EXPECT_TRUE(matched) << x << "," << y;
                differing += paint(*one, x, y) != paint(*other, x, y);
            }
        }
    }
    EXPECT_GT(differing, 0);
    EXPECT_LT(differing, 2 * 64 * 3);
    // Far fewer points reach the builder.
    utility->setMergeTolerance(1);
    VMPolygonList reduced;
    utility->reducePoints(track.data(), track.size(), 0, 0, false, reduced);
    utility->setMergeTolerance(0);
    ASSERT_EQ(reduced.size(), 1u);
    EXPECT_LT(reduced[0].size(), 20u);
}

TEST_F(LineDrawing, WidthAndCapsCoverTheirPixelsOnly) {
    const auto utility = GLESUtility::sharedUtility();
    const CGPoint line[] = {{10, 32}, {40, 32}};
    const auto red = UIColor::redColor();

    utility->drawColoredLinesWithPoints(line, 2, red, 0, false, 0, 0, false, 0);
    EXPECT_TRUE(isWhite(20, 32));

    utility->drawColoredLinesWithPoints(line, 2, red, 10, false, 0, kVMLineCapNone, false, 0);
    EXPECT_TRUE(near(pixel(20, 32), {255, 0, 0}));
    EXPECT_TRUE(near(pixel(20, 29), {255, 0, 0}));
    EXPECT_TRUE(isWhite(20, 38));
    EXPECT_TRUE(isWhite(20, 25));
    EXPECT_TRUE(isWhite(42, 32));

    clearToWhite();
    utility->drawColoredLinesWithPoints(line, 2, red, 10, false, 0, kVMLineCapRound, false, 0);
    // Within the half disc beyond the end, and not at its corner or past its rim.
    EXPECT_TRUE(near(pixel(42, 32), {255, 0, 0}));
    EXPECT_TRUE(near(pixel(7, 32), {255, 0, 0}));
    EXPECT_TRUE(isWhite(44, 36));
    EXPECT_TRUE(isWhite(46, 32));
    EXPECT_FALSE(isWhite(43, 34));

    clearToWhite();
    utility->drawColoredLinesWithPoints(line, 2, red, 10, false, 0, kVMLineCapSquare, false, 0);
    EXPECT_FALSE(isWhite(44, 35));
    // Colours reach GL unpremultiplied.
    clearToWhite();
    utility->drawColoredLinesWithPoints(line, 2, UIColor::colorWithRed(1, 0, 0, 0.5), 10, false, 0,
                                        0, false, 0);
    EXPECT_TRUE(near(pixel(20, 32), {255, 128, 128}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // The state the line drawing leaves behind.
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_TRUE(depthWrites);
}

TEST_F(LineDrawing, DashesLeaveTheirGapsEmpty) {
    const auto utility = GLESUtility::sharedUtility();
    // Width 2: the dash texture repeats every 8 units, opaque for the first half.
    const CGPoint line[] = {{0, 32}, {64, 32}};
    utility->drawColoredLinesWithPoints(line, 2, UIColor::blackColor(), 2, false, 0, 0, true, 0);
    for (int dash = 0; dash < 8; ++dash) {
        SCOPED_TRACE(dash);
        for (int x = dash * 8; x < dash * 8 + 4; ++x) EXPECT_LT(pixel(x, 32)[0], 64) << x;
        for (int x = dash * 8 + 4; x < dash * 8 + 8; ++x) EXPECT_TRUE(isWhite(x, 32)) << x;
    }
    clearToWhite();
    utility->drawColoredLinesWithPoints(line, 2, UIColor::blackColor(), 2, false, 0, 0, false, 0);
    EXPECT_LT(pixel(6, 32)[0], 64);
}

TEST_F(LineDrawing, LinesOfMoreVerticesThanSixteenBitsDrawWhole) {
    // A dense zigzag whose round joins need well over 65,536 vertices.
    std::vector<CGPoint> zigzag;
    for (int i = 0; i < 400; ++i) zigzag.push_back({12 + i * 0.1, i % 2 ? 44.0 : 20.0});
    const auto utility = GLESUtility::sharedUtility();
    utility->drawColoredLinesWithPoints(zigzag.data(), zigzag.size(), UIColor::blueColor(), 4,
                                        false, kVMLineJoinRound, 0, false, 0);
    ASSERT_GT(utility->LineBuilder().drawable().vertices.size(), 65536u);

    // Covered to the end: the last vertices are drawn, not wrapped onto the first.
    for (int x = 12; x <= 52; ++x) {
        const auto p = pixel(x, 32);
        EXPECT_TRUE(p[0] == 0 && p[2] > 100) << x;
    }
    EXPECT_TRUE(isWhite(56, 32));
    EXPECT_TRUE(isWhite(30, 50));
}

using RegionDrawing = OverlayGLTest;

TEST_F(RegionDrawing, FillsByTriangulationOrFanWithUnpremultipliedColour) {
    const auto utility = GLESUtility::sharedUtility();
    const CGPoint l[] = {{8, 8}, {56, 8}, {56, 24}, {24, 24}, {24, 56}, {8, 56}};
    const auto halfRed = UIColor::colorWithRed(1, 0, 0, 0.5);
    utility->drawRegionUsingTriangleFan(false, l, 6, halfRed, 0, nullptr, 0, false, 0, 0);
    EXPECT_TRUE(near(pixel(16, 48), {255, 128, 128}));
    EXPECT_TRUE(near(pixel(48, 16), {255, 128, 128}));
    EXPECT_TRUE(isWhite(40, 40));
    GLfloat color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[0], 1);
    EXPECT_FLOAT_EQ(color[3], 0.5f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));

    // A square comes out the same as a fan or triangulated.
    const CGPoint square[] = {{8, 8}, {56, 8}, {56, 56}, {8, 56}};
    clearToWhite();
    utility->drawRegionUsingTriangleFan(true, square, 4, halfRed, 0, nullptr, 0, false, 0, 0);
    const auto fan = frame();
    clearToWhite();
    utility->drawRegionUsingTriangleFan(false, square, 4, halfRed, 0, nullptr, 0, false, 0, 0);
    EXPECT_EQ(frame(), fan);
}

TEST_F(RegionDrawing, RegionsOfMoreVerticesThanSixteenBitsFillWhole) {
    // A disc of 70,000 vertices, clipped to the window and triangulated: the vertices past
    // 65,535 lie in its last 23 degrees.
    std::vector<CGPoint> disc;
    for (int i = 0; i < 70000; ++i) {
        const double a = 2 * M_PI * i / 70000;
        disc.push_back({32 + 24 * std::cos(a), 32 + 24 * std::sin(a)});
    }
    const auto utility = GLESUtility::sharedUtility();
    utility->drawRegionUsingTriangleFan(false, disc.data(), disc.size(), UIColor::blueColor(), 0,
                                        nullptr, 0, false, 0, 0);
    for (const double degrees : {10.0, 100.0, 200.0, 340.0, 350.0}) {
        const double a = degrees * M_PI / 180;
        EXPECT_TRUE(
            near(pixel(int(32 + 20 * std::cos(a)), int(32 + 20 * std::sin(a))), {0, 0, 255}))
            << degrees;
    }
    EXPECT_TRUE(isWhite(2, 2));
    EXPECT_TRUE(isWhite(60, 60));
}

TEST_F(RegionDrawing, IconsModulateWithAPremultipliedColour) {
    const auto utility = GLESUtility::sharedUtility();
    const std::uint8_t white[] = {255, 255, 255, 255, 255, 255, 255, 255,
                                  255, 255, 255, 255, 255, 255, 255, 255};
    GLuint texture = 0;
    utility->loadTextureBuffer(white, CGSizeMake(2, 2), &texture, false);
    ASSERT_TRUE(glIsTexture(texture));
    const CGPoint quad[] = {{8, 8}, {56, 8}, {56, 56}, {8, 56}};
    utility->drawIconWithTextureID(texture, quad, 3, nullptr);
    EXPECT_TRUE(isWhite(32, 32));
    utility->drawIconWithTextureID(texture, quad, 4, UIColor::colorWithRed(1, 0, 0, 0.5));
    EXPECT_TRUE(near(pixel(32, 32), {255, 128, 128}));
    EXPECT_TRUE(isWhite(4, 4));
    GLfloat color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[0], 0.5f);
    EXPECT_FLOAT_EQ(color[3], 0.5f);
    GLint binding = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
    EXPECT_EQ(binding, 0);
    utility->clearTexture(&texture);
    EXPECT_EQ(texture, 0u);
}

TEST_F(RegionDrawing, ClearDropsTheLineTexturesAndTheyComeBack) {
    const auto utility = GLESUtility::sharedUtility();
    const GLuint first = utility->lineTexture();
    ASSERT_TRUE(glIsTexture(first));
    GLint wrap = 0;
    glBindTexture(GL_TEXTURE_2D, first);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    utility->clear();
    EXPECT_FALSE(glIsTexture(first));
    const CGPoint line[] = {{10, 32}, {40, 32}};
    utility->drawColoredLinesWithPoints(line, 2, UIColor::redColor(), 4, false, 0, 0, false, 0);
    EXPECT_TRUE(glIsTexture(utility->lineTexture()));
    EXPECT_TRUE(near(pixel(20, 32), {255, 0, 0}));
}

TEST(InnerEdgeTest, MovesEverySideInwardsOrSaysThereIsNone) {
    const auto utility = GLESUtility::sharedUtility();
    VMPointList inner;
    const VMPointList square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    ASSERT_TRUE(utility->getInnerPoints(inner, square, 2));
    EXPECT_EQ(inner, (VMPointList{{2, 2}, {8, 2}, {8, 8}, {2, 8}}));
    // Either way round.
    const VMPointList clockwise{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
    ASSERT_TRUE(utility->getInnerPoints(inner, clockwise, 1));
    EXPECT_EQ(inner, (VMPointList{{1, 1}, {1, 9}, {9, 9}, {9, 1}}));

    testsupport::LogCapture log;
    EXPECT_FALSE(utility->getInnerPoints(inner, square, 0));
    EXPECT_FALSE(log.contains("DrawRegion"));
    EXPECT_FALSE(utility->getInnerPoints(inner, {{0, 0}, {1, 1}}, 1));
    EXPECT_TRUE(log.contains("DrawRegion: Cannot get inner edge since less than 3 points."));
    // Too thin for the width: no inner edge, and no success either.
    EXPECT_FALSE(utility->getInnerPoints(inner, square, 6));
    EXPECT_TRUE(inner.empty());
}

// A frame of every kind of stroke the map draws (thin outlines of spiky and round areas, wide
// routes with each join and cap, a looped stroke), against the picture the builder drew before
// it saved geometry: only anti-aliasing may differ. BRISFOLD_WRITE_REFERENCE=path writes the
// frame of the code under test instead.
TEST_F(RegionDrawing, OverlayFrameLooksAsItDidBeforeGeometryWasSaved) {
    constexpr int kFrame = 128;
    drawable->setDrawableSize(kFrame, kFrame);
    ASSERT_TRUE(gl.attach(drawable));
    glViewport(0, 0, kFrame, kFrame);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthof(0, kFrame, 0, kFrame, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    clearToWhite();
    const auto utility = GLESUtility::sharedUtility();
    const CGPoint window[] = {{-64, -64}, {192, -64}, {192, 192}, {-64, 192}};
    utility->setClipWindow(window, 4);
    utility->setMergeTolerance(0.5);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto ring = [&](CGPoint c, double radius, double spread, int n) {
        std::vector<CGPoint> p;
        for (int k = 0; k < n; ++k) {
            const double a = 2 * M_PI * k / n;
            const double r = radius * (1 - spread + spread * unit(random));
            p.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
        }
        return p;
    };
    const auto star = ring({32, 96}, 28, 0.5, 120);
    utility->drawRegionUsingTriangleFan(false, star.data(), star.size(),
                                        UIColor::colorWithRed(0.77, 0.88, 0.94, 0.8), 1,
                                        UIColor::blueColor(), 0, false, 0, 2.5);
    const auto disc = ring({96, 96}, 24, 0.02, 200);
    utility->drawRegionUsingTriangleFan(false, disc.data(), disc.size(), UIColor::yellowColor(), 3,
                                        UIColor::blackColor(), 0, false, kVMLineJoinRound, 0.5);
    std::vector<CGPoint> walk{{8, 8}};
    double heading = 0;
    for (int k = 0; k < 60; ++k) {
        heading = std::sin(k * 0.5) + (unit(random) - 0.5) * 0.6;
        walk.push_back(
            {walk.back().x + 2 * std::cos(heading), walk.back().y + 2 * std::sin(heading)});
    }
    for (const auto& [join, cap, width, dy] :
         {std::tuple{kVMLineJoinRound, kVMLineCapRound, 12.0, 0.0},
          std::tuple{kVMLineJoinBevel, kVMLineCapNone, 6.0, 22.0},
          std::tuple{kVMLineJoinMiter, kVMLineCapSquare, 4.0, 36.0},
          std::tuple{kVMLineJoinRound, kVMLineCapArrow, 1.0, 46.0}}) {
        std::vector<CGPoint> line = walk;
        for (CGPoint& p : line) p.y += dy;
        utility->drawColoredLinesWithPoints(line.data(), line.size(),
                                            UIColor::colorWithRed(0.3, 0.63, 0.89, 0.8), width,
                                            false, join, cap, false, 0.5);
    }
    utility->setMergeTolerance(0);
    std::vector<std::uint8_t> pixels(kFrame * kFrame * 4);
    glReadPixels(0, 0, kFrame, kFrame, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    const CGImageRef picture =
        CGImage::createOpaqueWithBottomUpRows(pixels.data(), kFrame, kFrame, false);
    if (const char* out = std::getenv("BRISFOLD_WRITE_REFERENCE")) {
        ASSERT_TRUE(picture->writePNG(out));
        GTEST_SKIP() << "wrote " << out;
    }
    const auto reference = CGImage::createWithContentsOfFile(std::string(OVERLAY_TEST_DATA_DIR) +
                                                             "/overlay-frame.png");
    ASSERT_TRUE(reference);
    int differing = 0;
    int worst = 0;
    for (int y = 0; y < kFrame; ++y) {
        for (int x = 0; x < kFrame; ++x) {
            const CGColor a = picture->pixelAt(x, y);
            const CGColor b = reference->pixelAt(x, y);
            const int d =
                int(std::lround(255 * std::max({std::fabs(a.r - b.r), std::fabs(a.g - b.g),
                                                std::fabs(a.b - b.b)})));
            worst = std::max(worst, d);
            differing += d > 8;
        }
    }
    EXPECT_LE(differing, kFrame * kFrame / 400) << "worst " << worst;
    EXPECT_LE(worst, 96);
}

}  // namespace

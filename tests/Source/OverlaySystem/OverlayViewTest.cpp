#include <cmath>

#include "CoreGraphics/CGContext.h"
#include "LogCapture.h"
#include "MapKitTestSupport.h"
#include "OverlayGLFixture.h"
#include "UIColorVMConvert.h"
#include "VMCircleView.h"
#include "VMGroundOverlayView.h"
#include "VMPolygonView.h"
#include "VMPolylineView.h"

namespace {

std::shared_ptr<UIImage> imageOfSize(int width, int height) {
    return UIImage::imageWithCGImage(CGImage::create(width, height));
}

constexpr double kCentre = 134217728;  // 2^27, the middle of the world

// A 16 x 16 picture in four 8 x 8 quarters: red, green (top), blue, yellow (bottom).
std::shared_ptr<UIImage> quarters() {
    static constexpr std::uint8_t kColours[4][3] = {
        {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    const auto rgba = testsupport::quarteredRGBA(16, kColours);
    return UIImage::imageWithCGImage(CGImage::createWithRGBA(rgba.data(), 16, 16, 64));
}

CLLocationCoordinate2D at(double x, double y) { return coordinateForMapPoint({x, y}); }

TEST(GroundOverlayModel, BoundsGiveTheZoomAndNoWidthTheDeepest) {
    const auto boxed = VMGroundOverlay::groundOverlayWithBounds(
        {at(kCentre + 256, kCentre - 100), at(kCentre - 256, kCentre + 100)}, imageOfSize(256, 64));
    EXPECT_NEAR(boxed->zoomLevel(), 19, 1e-9);
    EXPECT_NEAR(boxed->halfHeight(), 100, 1e-6);
    EXPECT_NEAR(boxed->centerMapPoint().x, kCentre, 1e-6);
    const auto flat = VMGroundOverlay::groundOverlayWithBounds(
        {at(kCentre, kCentre - 10), at(kCentre, kCentre + 10)}, imageOfSize(256, 64));
    EXPECT_DOUBLE_EQ(flat->zoomLevel(), 20);
    // The corner count is stored as given, up to the four corners there are.
    flat->setPointsCount(3);
    EXPECT_EQ(flat->pointsCount(), 3u);
    flat->setPointsCount(5);
    EXPECT_EQ(flat->pointsCount(), 4u);
}

class OverlayViews : public OverlayGLTest {
  protected:
    void SetUp() override {
        OverlayGLTest::SetUp();
        if (IsSkipped()) return;
        orient(true);
    }
    template <typename View>
    std::shared_ptr<View> placed(std::shared_ptr<View> view) {
        view->setMapView(map);
        view->referenceDidChange();
        return view;
    }
    // The pixel at map point (x + 0.5, y + 0.5): map y grows downwards, GL rows upwards.
    std::array<int, 4> mapPixel(int x, int y) { return pixel(x, kSize - 1 - y); }
    bool mapWhite(int x, int y) { return isWhite(x, kSize - 1 - y); }

    std::shared_ptr<FlatMap> map = std::make_shared<FlatMap>();
};

TEST_F(OverlayViews, PointsClipWindowAndWidthsFollowTheMap) {
    const VMMapPoint points[] = {{10, 20}, {30, 40}};
    auto view = VMPolylineView::initWithPolyline(VMPolyline::polylineWithPoints(points));
    EXPECT_TRUE(view->glPointsForMapPoints({}).empty());
    // Without a usable view record points come out at the origin.
    EXPECT_EQ(view->glPointForMapPoint({10, 20}), CGPointMake(0, 0));
    EXPECT_EQ(view->render(), nullptr);
    placed(view);
    EXPECT_EQ(view->render(), map);
    ASSERT_EQ(view->glPointCount(), 2u);
    EXPECT_EQ(view->glPoints()[1], CGPointMake(30, 40));
    view->VMOverlayView::referenceDidChange();
    EXPECT_EQ(view->glPoints(), nullptr);
    EXPECT_EQ(view->glPointCount(), 0u);

    // Map points beyond 32 bits saturate rather than wrap.
    map->state.mapUnitsPerGLX = map->state.mapUnitsPerGLY = 4;
    map->state.mapUnitsPerPixel = 2;
    EXPECT_FLOAT_EQ(float(view->glPointForMapPoint({1e300, -1e300}).x), 2147483647.0f / 4);
    EXPECT_EQ(view->glPointForMapPoint({NAN, 8}), CGPointMake(0, 2));
    // Two pixels a point at scale 2: 2 x 3 pixels of 2 map units, over 4 map units a GL unit.
    UIScreen::mainScreen()->setScale(2);
    EXPECT_DOUBLE_EQ(view->glWidthForWindowWidth(1.5), 1.5);

    map->state.mapUnitsPerGLX = map->state.mapUnitsPerGLY = 1;
    map->bounds = CGRectMake(0, 0, 320, 480);
    view->updateGlWindow();
    const std::array<CGPoint, 4> window{CGPoint{-80, -80}, {400, -80}, {400, 560}, {-80, 560}};
    EXPECT_EQ(view->glWindow(), window);
}

TEST_F(OverlayViews, StrokeTexturesMustBeSquareWithAPowerOfTwoSide) {
    auto view = placed(VMPolylineView::initWithPolyline(VMPolyline::polylineWithPoints({})));
    const GLuint texture = view->loadStrokeTextureImage(imageOfSize(64, 64));
    ASSERT_NE(texture, 0u);
    EXPECT_TRUE(glIsTexture(texture));
    GLint wrap = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(wrap, GL_REPEAT);
    for (const auto& [w, h] : {std::pair{64, 32}, {48, 48}, {0, 0}}) {
        testsupport::LogCapture log;
        EXPECT_EQ(view->loadStrokeTextureImage(imageOfSize(w, h)), 0u);
        EXPECT_TRUE(
            log.contains("Cannot load strokeTexture Image. Texture image should be square "
                         "(i.e. width = height) and the width should be 2^n."));
        EXPECT_EQ(view->strokeTextureID(), texture);
    }
    view.reset();
    EXPECT_FALSE(glIsTexture(texture));

    // Set as an image, it is loaded on first use.
    auto lazy = placed(VMPolylineView::initWithPolyline(VMPolyline::polylineWithPoints({})));
    lazy->setTextureImage(imageOfSize(16, 16));
    const GLuint loaded = lazy->strokeTextureID();
    EXPECT_TRUE(glIsTexture(loaded));
    EXPECT_EQ(lazy->loadStrokeTextureImage(nullptr), 0u);
    EXPECT_FALSE(glIsTexture(loaded));
    EXPECT_EQ(lazy->textureImage(), nullptr);
}

TEST_F(OverlayViews, PolylineIsStrokedNeverFilled) {
    const VMMapPoint points[] = {{8, 32}, {56, 32}};
    auto view = placed(VMPolylineView::initWithPolyline(VMPolyline::polylineWithPoints(points)));
    view->setFillColor(UIColor::redColor());
    EXPECT_TRUE(view->fillColor()->isEqual(*UIColor::clearColor()));
    view->glRender();
    EXPECT_TRUE(isWhite(32, 32));

    view->setLineWidth(6);
    view->glRender();
    EXPECT_FALSE(mapWhite(32, 33));
    EXPECT_TRUE(mapWhite(32, 40));
    EXPECT_TRUE(mapWhite(32, 24));

    // An absent colour draws in the default stroke colour.
    clearToWhite();
    view->renderLinesWithPoints(view->glPoints(), view->glPointCount(), nullptr,
                                view->glWidthForWindowWidth(6), false, false);
    EXPECT_TRUE(near(mapPixel(32, 32), {112, 180, 232}, 4));
}

// A view keeps its points thinned between frames: a new zoom or new points thin them again.
TEST_F(OverlayViews, ThinnedPointsFollowTheZoomAndThePoints) {
    std::vector<VMMapPoint> arc;
    for (int k = 0; k <= 40; ++k) {
        arc.push_back({32 + 24 * std::cos(k / 40.0 * M_PI), 8 + 24 * std::sin(k / 40.0 * M_PI)});
    }
    auto view = placed(VMPolylineView::initWithPolyline(VMPolyline::polylineWithPoints(arc)));
    view->setLineWidth(2);
    const auto vertices = [&] {
        view->glRender();
        return GLESUtility::sharedUtility()->LineBuilder().drawable().vertices.size();
    };
    const std::size_t far = vertices();
    EXPECT_EQ(vertices(), far);
    map->state.mapUnitsPerPixel = 0.25;
    const std::size_t near = vertices();
    EXPECT_GT(near, far);
    map->state.mapUnitsPerPixel = 1;
    EXPECT_EQ(vertices(), far);
    view->setGlPoints({{8, 8}, {56, 8}});
    EXPECT_EQ(vertices(), 4u);
}

TEST_F(OverlayViews, PolygonFillsWhereItIsAndStrokesItsOutline) {
    const VMMapPoint l[] = {{8, 8}, {56, 8}, {56, 24}, {24, 24}, {24, 56}, {8, 56}};
    auto view = placed(VMPolygonView::initWithPolygon(VMPolygon::polygonWithPoints(l)));
    view->setFillColor(UIColor::greenColor());
    view->setStrokeColor(UIColor::redColor());
    view->glRender();
    // Width 0 still fills.
    EXPECT_TRUE(near(mapPixel(16, 48), {0, 255, 0}));
    EXPECT_TRUE(near(mapPixel(48, 16), {0, 255, 0}));
    EXPECT_TRUE(mapWhite(40, 40));

    clearToWhite();
    view->setLineWidth(4);
    view->glRender();
    EXPECT_TRUE(near(mapPixel(16, 40), {0, 255, 0}));
    EXPECT_TRUE(near(mapPixel(8, 40), {255, 0, 0}));
    EXPECT_TRUE(near(mapPixel(40, 24), {255, 0, 0}));
    EXPECT_TRUE(mapWhite(40, 40));
    EXPECT_TRUE(mapWhite(3, 40));

    const VMMapPoint two[] = {{8, 8}, {56, 56}};
    auto flat = placed(VMPolygonView::initWithPolygon(VMPolygon::polygonWithPoints(two)));
    EXPECT_EQ(flat->glPointCount(), 0u);
}

TEST_F(OverlayViews, CircleCoversItsCentreNotItsBoundsCorners) {
    const auto circle = VMCircle::circleWithCenterCoordinate({0, 0}, 3);
    const VMMapRect bounds = circle->boundingMapRect();
    const double r = bounds.size.width / 2;
    ASSERT_GT(r, 19);
    map->state.originX = std::int32_t(bounds.origin.x + r) - 32;
    map->state.originY = std::int32_t(bounds.origin.y + r) - 32;
    auto view = placed(VMCircleView::initWithCircle(circle));
    ASSERT_EQ(view->glPointCount(), 360u);
    view->setFillColor(UIColor::blueColor());
    view->glRender();
    int covered = 0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double d = std::hypot(x + 0.5 - 32, y + 0.5 - 32);
            const bool white = isWhite(x, y);
            if (d < r - 1.5) {
                EXPECT_FALSE(white) << x << "," << y;
            } else if (d > r + 1.5) {
                EXPECT_TRUE(white) << x << "," << y;
            }
            covered += !white;
        }
    }
    EXPECT_NEAR(covered, M_PI * r * r, 0.06 * M_PI * r * r);
}

TEST_F(OverlayViews, QuartersLandInTheirCornersAndAlphaFades) {
    map->state.originX = map->state.originY = std::int32_t(kCentre);
    // The picture over map-frame points 8..56 each way.
    const auto overlay = VMGroundOverlay::groundOverlayWithBounds(
        {at(kCentre + 56, kCentre + 8), at(kCentre + 8, kCentre + 56)}, quarters());
    auto view = placed(VMGroundOverlayView::initWithGroundOverlay(overlay));
    const GLuint texture = view->textureID();
    ASSERT_NE(texture, 0u);
    view->glRender();
    EXPECT_TRUE(near(mapPixel(16, 16), {255, 0, 0}));
    EXPECT_TRUE(near(mapPixel(48, 16), {0, 255, 0}));
    EXPECT_TRUE(near(mapPixel(16, 48), {0, 0, 255}));
    EXPECT_TRUE(near(mapPixel(48, 48), {255, 255, 0}));
    for (const auto& [x, y] : {std::pair{4, 4}, {60, 30}, {30, 60}, {59, 59}})
        EXPECT_TRUE(mapWhite(x, y)) << x << "," << y;

    clearToWhite();
    overlay->setAlpha(0.5);
    view->glRender();
    EXPECT_TRUE(near(mapPixel(16, 16), {255, 128, 128}));
    EXPECT_TRUE(near(mapPixel(16, 48), {128, 128, 255}));

    clearToWhite();
    overlay->setAlpha(0);
    view->glRender();
    EXPECT_EQ(frame(), std::vector<std::uint8_t>(kSize * kSize * 4, 255));

    // Only a quad of four corners is drawn.
    overlay->setAlpha(1);
    view->setGlPoints({{8, 8}, {56, 8}, {56, 56}});
    view->glRender();
    EXPECT_EQ(frame(), std::vector<std::uint8_t>(kSize * kSize * 4, 255));

    EXPECT_TRUE(glIsTexture(texture));
    view.reset();
    EXPECT_FALSE(glIsTexture(texture));
}

// Hooks offered to subclasses that draw into a bitmap context; the GL drawing reads none.
class PathHooks : public VMOverlayPathView {
  public:
    static std::shared_ptr<PathHooks> make() {
        return finishCreate(std::shared_ptr<PathHooks>(new PathHooks()), CGRectZero);
    }
    void createPath() override { setPath(CGPathCreateMutable()); }
    void invalidatePath() override { setPath(nullptr); }
};

TEST_F(OverlayViews, PathHooksAndTheRegionWithAnUnusedStrokeWidth) {
    const auto hooks = PathHooks::make();
    EXPECT_EQ(hooks->path(), nullptr);
    hooks->createPath();
    EXPECT_NE(hooks->path(), nullptr);
    hooks->VMOverlayPathView::applyStrokePropertiesToContext(nullptr, 1);
    hooks->VMOverlayPathView::applyFillPropertiesToContext(nullptr, 1);
    hooks->VMOverlayPathView::strokePath(hooks->path(), nullptr);
    hooks->VMOverlayPathView::fillPath(hooks->path(), nullptr);
    hooks->drawMapRect({{0, 0}, {1, 1}}, 1, nullptr);
    hooks->invalidatePath();
    EXPECT_EQ(hooks->path(), nullptr);

    hooks->setMapView(map);
    const CGPoint square[] = {{8, 8}, {40, 8}, {40, 40}, {8, 40}};
    hooks->renderRegionWithPoints(square, 4, UIColor::greenColor(), false);
    const auto fillOnly = frame();
    clearToWhite();
    hooks->renderRegionWithPoints(square, 4, UIColor::greenColor(), 6.0, false);
    EXPECT_EQ(frame(), fillOnly);
    EXPECT_TRUE(near(mapPixel(20, 20), {0, 255, 0}));
    EXPECT_TRUE(mapWhite(45, 20));
}

}  // namespace

#include "OverlayGLFixture.h"
#include "VMGroundOverlayView.h"

namespace {

constexpr double kCentre = 134217728;  // 2^27, the middle of the world

// A 16 x 16 picture in four 8 x 8 quarters: red, green (top), blue, yellow (bottom).
std::shared_ptr<UIImage> quarters() {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int quarter = (y >= 8 ? 2 : 0) + (x >= 8 ? 1 : 0);
            static constexpr std::uint8_t kColours[4][3] = {
                {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
            const auto [r, g, b] = kColours[quarter];
            rgba.insert(rgba.end(), {r, g, b, 255});
        }
    }
    return UIImage::imageWithCGImage(CGImage::createWithRGBA(rgba.data(), 16, 16, 64));
}

std::shared_ptr<UIImage> imageOfPixels(int width, int height, double scale = 1) {
    return UIImage::imageWithCGImage(CGImage::create(width, height), scale);
}

CLLocationCoordinate2D at(double x, double y) { return coordinateForMapPoint({x, y}); }

TEST(GroundOverlayModel, BoundsGiveTheZoomAndNoWidthTheDeepest) {
    const auto boxed = VMGroundOverlay::groundOverlayWithBounds(
        {at(kCentre + 256, kCentre - 100), at(kCentre - 256, kCentre + 100)},
        imageOfPixels(256, 64));
    EXPECT_NEAR(boxed->zoomLevel(), 19, 1e-9);
    EXPECT_NEAR(boxed->halfHeight(), 100, 1e-6);
    EXPECT_NEAR(boxed->centerMapPoint().x, kCentre, 1e-6);
    const auto flat = VMGroundOverlay::groundOverlayWithBounds(
        {at(kCentre, kCentre - 10), at(kCentre, kCentre + 10)}, imageOfPixels(256, 64));
    EXPECT_DOUBLE_EQ(flat->zoomLevel(), 20);
}

class GroundOverlayViewTest : public OverlayGLTest {
  protected:
    void SetUp() override {
        OverlayGLTest::SetUp();
        if (IsSkipped()) return;
        orient(true);
        map->state.originX = map->state.originY = std::int32_t(kCentre);
        // The picture over map-frame points 8..56 each way.
        overlay = VMGroundOverlay::groundOverlayWithBounds(
            {at(kCentre + 56, kCentre + 8), at(kCentre + 8, kCentre + 56)}, quarters());
        view = VMGroundOverlayView::initWithGroundOverlay(overlay);
        view->setMapView(map);
        view->referenceDidChange();
    }
    std::array<int, 4> mapPixel(int x, int y) { return pixel(x, kSize - 1 - y); }

    std::shared_ptr<FlatMap> map = std::make_shared<FlatMap>();
    std::shared_ptr<VMGroundOverlay> overlay;
    std::shared_ptr<VMGroundOverlayView> view;
};

TEST_F(GroundOverlayViewTest, QuartersLandInTheirCornersAndAlphaFades) {
    const GLuint texture = view->textureID();
    ASSERT_NE(texture, 0u);
    view->glRender();
    EXPECT_TRUE(near(mapPixel(16, 16), {255, 0, 0}));
    EXPECT_TRUE(near(mapPixel(48, 16), {0, 255, 0}));
    EXPECT_TRUE(near(mapPixel(16, 48), {0, 0, 255}));
    EXPECT_TRUE(near(mapPixel(48, 48), {255, 255, 0}));
    for (const auto& [x, y] : {std::pair{4, 4}, {60, 30}, {30, 60}, {59, 59}}) {
        EXPECT_TRUE(isWhite(x, kSize - 1 - y)) << x << "," << y;
    }

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

}  // namespace

#include <vector>

#include "LogCapture.h"
#include "MapKitTestSupport.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScreen.h"
#include "VMMapViewSnapshot.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

using testsupport::colourNear;

// With the view centred on the lower right corner of grid "1320" at zoom 4, the held grid
// is a square of 128 points above and left of the centre, and nothing else.
const CGPoint kOnLand{80, 200};
const CGPoint kBelowLand{80, 450};
const CGRect kPin = CGRectMake(100, 180, 12, 20);

CGSize pointSize(const std::shared_ptr<UIImage>& image) {
    return image ? image->size() : CGSizeMake(-1, -1);
}

class SnapshotTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openView(CGRectMake(0, 0, 320, 568));
        if (!view) return;
        view->zoomToLevel(4);
        view->scrollToCenterPoint({13 << 24, 7 << 24}, false, 0, 0, false, nullptr);
        show();
        ASSERT_TRUE(testsupport::holdGrid(view->render()->mapEngine(), 0, "1320"));
        // A stand-in for a pin: any view on the floor is drawn like the annotation views.
        pin = UIView::create(kPin);
        pin->setBackgroundColor(UIColor::redColor());
        view->annotationFloor()->addSubview(pin);
        frames(1);
    }

    // The logo as the map view itself shows it, in the view's own composite.
    void expectLogoAt(const std::shared_ptr<UIImage>& image, CGPoint origin) {
        const auto logo = view->logoImageView();
        auto composite = takeSnapshotOnView(logo.get(), logo->frame().size, nullptr);
        ASSERT_NE(composite, nullptr);
        const auto& want = composite->CGImage();
        int inked = 0;
        for (int y = 0; y < want->height(); ++y) {
            for (int x = 0; x < want->width(); ++x) {
                if (want->pixelAt(x, y).a < 1) continue;
                ++inked;
                ASSERT_TRUE(colourNear(
                    image->CGImage()->pixelAt(int(origin.x * 2) + x, int(origin.y * 2) + y),
                    want->pixelAt(x, y)))
                    << x << "," << y;
            }
        }
        EXPECT_GT(inked, 100);
    }

    std::shared_ptr<UIView> pin;
};

TEST_F(SnapshotTest, WholeViewShowsTheMapThePinAndTheLogo) {
    const auto image = takeSnapshotInRect(*view, view->bounds());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->scale(), 2);
    EXPECT_EQ(image->CGImage()->width(), 640);
    EXPECT_EQ(image->CGImage()->height(), 1136);
    const auto& pixels = image->CGImage();
    EXPECT_TRUE(colourNear(testsupport::screenPixel(pixels, kOnLand.x, kOnLand.y), kMapLand));
    EXPECT_TRUE(
        colourNear(testsupport::screenPixel(pixels, kBelowLand.x, kBelowLand.y), kMapBackground));
    EXPECT_TRUE(colourNear(testsupport::screenPixel(pixels, 104, 190), testsupport::kRed));
    expectLogoAt(image, CGPointMake(5, 568 - 5 - 13));

    const auto mapOnly = takeSnapshotInRect(*view, view->bounds(), false);
    ASSERT_NE(mapOnly, nullptr);
    EXPECT_TRUE(colourNear(testsupport::screenPixel(mapOnly->CGImage(), 104, 190), kMapLand));
    expectLogoAt(mapOnly, CGPointMake(5, 568 - 5 - 13));
}

TEST_F(SnapshotTest, RectanglesAreCutStandardisedAndRoundedOutwards) {
    struct Case {
        CGRect rect;
        CGSize size;
    };
    const Case cases[] = {
        {CGRectMake(-10, -20, 110, 120), CGSizeMake(100, 100)},
        {CGRectMake(300, 500, 100, 100), CGSizeMake(65, 68)},
        {CGRectMake(10.5, 20.25, 99.5, 50.2), CGSizeMake(100, 51)},
        {CGRectMake(200, 300, -100, -60), CGSizeMake(100, 60)},
        {CGRectMake(400, 10, 50, 50), CGSizeMake(-1, -1)},
        {CGRectMake(10, -90, 50, -10), CGSizeMake(-1, -1)},
    };
    for (const auto& c : cases) {
        const auto image = takeSnapshotInRect(*view, c.rect);
        EXPECT_EQ(pointSize(image), c.size) << CGRectGetMinX(c.rect) << "," << c.rect.origin.y;
    }
}

TEST_F(SnapshotTest, TheGLReadBackIsUprightAndClippedByItsPath) {
    const auto image = takeOpenGLESSnapshotWithPath(
        *view, UIBezierPath::bezierPathWithOvalInRect(CGRectMake(0, 0, 320, 568)));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->CGImage()->width(), 640);
    EXPECT_EQ(image->CGImage()->height(), 1136);
    EXPECT_EQ(image->CGImage()->pixelAt(4, 4).a, 0);
    EXPECT_EQ(image->CGImage()->pixelAt(635, 1131).a, 0);
    EXPECT_TRUE(
        colourNear(testsupport::screenPixel(image->CGImage(), kOnLand.x, kOnLand.y), kMapLand));
    EXPECT_TRUE(colourNear(testsupport::screenPixel(image->CGImage(), kBelowLand.x, kBelowLand.y),
                           kMapBackground));
    EXPECT_FALSE(view->render()->snapshotEnabled());
    EXPECT_EQ(view->render()->snapshotPath(), nullptr);

    // With drawing stopped no frame is read back: the last picture must not pass for a new one,
    // and the request must not wait for a later frame.
    UIApplication::sharedApplication()->setApplicationState(UIApplicationStateInactive);
    EXPECT_EQ(takeOpenGLESSnapshotWithPath(*view, nullptr), nullptr);
    EXPECT_FALSE(view->render()->snapshotEnabled());
    EXPECT_EQ(takeSnapshotInRect(*view, view->bounds()), nullptr);
    UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
    EXPECT_NE(takeSnapshotInRect(*view, view->bounds()), nullptr);
}

TEST_F(SnapshotTest, ConstraintKeepsTheRectangleInsideItsBounds) {
    struct Case {
        CGRect rect, bounds;
        CGSize minimum;
        CGRect expected;
        bool logged;
    };
    const CGRect b = CGRectMake(0, 0, 320, 568);
    const Case cases[] = {
        {CGRectMake(10, 10, 100, 100), b, CGSizeMake(65, 23), CGRectMake(10, 10, 100, 100), false},
        {CGRectMake(10, 10, 20, 10), b, CGSizeMake(65, 23), CGRectMake(10, 10, 65, 23), false},
        {CGRectMake(300, 560, 20, 8), b, CGSizeMake(65, 23), CGRectMake(255, 545, 65, 23), false},
        {CGRectMake(300, 560, 40, 20), b, CGSizeMake(65, 23), CGRectMake(255, 545, 65, 23), true},
        {CGRectMake(-10, 100, 100, 50), b, CGSizeMake(65, 23), CGRectMake(0, 100, 90, 50), true},
        {CGRectMake(0, 0, 30, 10), CGRectMake(0, 0, 40, 20), CGSizeMake(65, 23),
         CGRectMake(0, 0, 40, 20), false},
    };
    for (const auto& c : cases) {
        testsupport::LogCapture log;
        EXPECT_EQ(constraintRect(c.rect, c.bounds, c.minimum), c.expected) << c.rect.origin.x;
        EXPECT_EQ(log.contains("did not contain theRect"), c.logged) << c.rect.origin.x;
    }
}

}  // namespace

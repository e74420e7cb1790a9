#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "VMGroundOverlay.h"
#include "VMOverlayContainerView.h"
#include "VMOverlayFloor.h"
#include "VMPolygon.h"

namespace {

using Overlays = std::vector<VMOverlayRef>;

// Counts its frames instead of drawing them, and the reference changes it hears of.
class CountingView : public VMOverlayView {
  public:
    static std::shared_ptr<CountingView> make(VMOverlayRef overlay) {
        auto view = finishCreate(std::shared_ptr<CountingView>(new CountingView()), CGRectZero);
        view->setOverlay(std::move(overlay));
        return view;
    }
    void glRender() override { ++renders; }
    void referenceDidChange() override {
        VMOverlayView::referenceDidChange();
        ++references;
    }
    int renders = 0, references = 0;
};

struct Delegate : VMOverlayContainerViewDelegate {
    VMMapRect visible{{1000, 1000}, {100, 100}};
    bool answers = true;
    VMOverlayRef circle;
    std::vector<VMOverlayViewRef> made;
    std::vector<std::vector<VMOverlayViewRef>> notices;

    VMMapRect visibleMapRect() override { return visible; }
    VMOverlayViewRef createDrawableForOverlay(const VMOverlayRef& overlay) override {
        if (!answers) return nullptr;
        made.push_back(CountingView::make(overlay));
        return made.back();
    }
    bool isUserLocationCircle(const VMOverlayRef& overlay) override { return overlay == circle; }
    VMOverlayViewRef userLocationCircleViewWithCircle(const VMOverlayRef& overlay) override {
        made.push_back(CountingView::make(overlay));
        return made.back();
    }
    void overlayContainerAddedDrawables(const std::vector<VMOverlayViewRef>& d) override {
        notices.push_back(d);
    }
};

VMOverlayRef square(double x, double y, double side = 10) {
    const VMMapPoint p[] = {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
    return VMPolygon::polygonWithPoints(p);
}

class OverlayContainerTest : public ::testing::Test {
  protected:
    void SetUp() override { container->setDelegate(delegate); }
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
    std::shared_ptr<VMOverlayContainerView> container = VMOverlayContainerView::create(CGRectZero);
    VMOverlayRef a = square(0, 0), b = square(20, 0), c = square(40, 0), g = square(60, 0);
};

TEST_F(OverlayContainerTest, LevelsAndPositions) {
    container->addOverlay(a);
    container->addOverlay(g, 0);
    EXPECT_EQ(container->overlays(), (Overlays{g, a}));
    EXPECT_EQ(container->overlaysInLevel(-1), Overlays{g});
    EXPECT_EQ(container->overlaysInLevel(5), Overlays{a});

    container->insertOverlay(b, 99);
    container->insertOverlayBelowOverlay(c, a);
    EXPECT_EQ(container->overlaysInLevel(1), (Overlays{c, a, b}));
    const auto d = square(80, 0), e = square(100, 0);
    container->insertOverlayAboveOverlay(d, b);
    container->insertOverlayAboveOverlay(e, square(0, 0));
    EXPECT_EQ(container->overlaysInLevel(1), (Overlays{c, a, b, d}));

    int level = -1;
    std::size_t index = 0;
    EXPECT_TRUE(container->checkLevel(level, index, b));
    EXPECT_EQ(level, 1);
    EXPECT_EQ(index, 2u);
    EXPECT_FALSE(container->checkLevel(level, index, e));
    EXPECT_EQ(level, 0);
    EXPECT_EQ(index, VMOverlayContainerView::kNotFound);
    EXPECT_EQ(container->overlayForIndex(0, 0), g);
    EXPECT_EQ(container->overlayForIndex(4, 1), nullptr);
    EXPECT_EQ(container->overlayForIndex(0, 2), nullptr);

    container->removeOverlays({a, e, g});
    EXPECT_EQ(container->overlays(), (Overlays{c, b, d}));
    EXPECT_EQ(container->drawableForOverlay(a), nullptr);
    EXPECT_EQ(container->drawableForOverlay(b)->overlay(), b);
}

// A ground image added after a route still lies under it.
TEST_F(OverlayContainerTest, GroundImagesGoUnderEverythingElseWhateverTheOrderOfAdding) {
    const auto ground = [] {
        return VMGroundOverlay::groundOverlayWithBounds({{1, 1}, {0, 0}}, nullptr);
    };
    const VMOverlayRef g1 = ground(), g2 = ground(), g3 = ground();
    container->addOverlay(a);
    container->addOverlay(g1);
    container->addOverlays({b, g2});
    container->insertOverlay(g3, 0);
    EXPECT_EQ(container->overlaysInLevel(0), (Overlays{g3, g1, g2}));
    EXPECT_EQ(container->overlays(), (Overlays{g3, g1, g2, a, b}));
}

TEST_F(OverlayContainerTest, NoticesAndDrawables) {
    container->addOverlay(a);
    container->addOverlay(a);
    EXPECT_EQ(container->overlays().size(), 1u);
    ASSERT_EQ(delegate->notices.size(), 1u);
    EXPECT_EQ(delegate->notices[0], delegate->made);

    container->addOverlays({b, a, c});
    ASSERT_EQ(delegate->notices.size(), 2u);
    EXPECT_EQ(delegate->notices[1].size(), 2u);
    EXPECT_EQ(container->overlays(), (Overlays{a, b, c}));

    delegate->answers = false;
    container->addOverlays({square(1, 1), square(2, 2)}, 1);
    ASSERT_EQ(delegate->notices.size(), 3u);
    EXPECT_TRUE(delegate->notices[2].empty());
    container->addOverlay(square(3, 3));
    EXPECT_EQ(delegate->notices.size(), 3u);
    EXPECT_EQ(container->overlays().size(), 3u);

    // The accuracy circle gets the built-in view and no notice.
    delegate->circle = g;
    container->addOverlay(g);
    EXPECT_EQ(container->drawableForOverlay(g), delegate->made.back());
    EXPECT_EQ(delegate->notices.size(), 3u);
}

TEST_F(OverlayContainerTest, Exchanges) {
    container->addOverlays({a, b, c});
    const auto drawableA = container->drawableForOverlay(a);
    container->exchangeOverlay(a, c);
    EXPECT_EQ(container->overlays(), (Overlays{c, b, a}));
    EXPECT_EQ(container->drawableForOverlay(a), drawableA);
    container->exchangeOverlayAtIndex(0, 1);
    EXPECT_EQ(container->overlays(), (Overlays{b, c, a}));
    container->exchangeOverlayAtIndex(0, 1, 2);
    container->exchangeOverlayAtIndex(0, 3, 1);
    EXPECT_EQ(container->overlays(), (Overlays{b, c, a}));

    container->addOverlay(g, 0);
    const auto notices = delegate->notices.size();
    const auto drawableC = container->drawableForOverlay(c);
    const auto drawableG = container->drawableForOverlay(g);
    container->exchangeOverlay(g, c);
    EXPECT_EQ(container->overlaysInLevel(0), Overlays{c});
    EXPECT_EQ(container->overlaysInLevel(1), (Overlays{b, g, a}));
    EXPECT_EQ(delegate->notices.size(), notices + 2);
    EXPECT_EQ(container->drawableForOverlay(g), delegate->notices[notices][0]);
    EXPECT_EQ(container->drawableForOverlay(c), delegate->notices.back()[0]);
    EXPECT_NE(container->drawableForOverlay(g), drawableG);
    EXPECT_NE(container->drawableForOverlay(c), drawableC);
}

TEST_F(OverlayContainerTest, DrawsWhatReachesTheGrownVisibleRect) {
    const auto near = square(1000 - 49, 1000, 40);  // within half a width to the left
    const auto far = square(1000 - 60, 1000, 5);
    const auto under = square(1040, 1040);
    container->addOverlays({near, far});
    container->addOverlay(under, 0);
    container->drawOverlaysInLevel(1);
    const auto renders = [&](const VMOverlayRef& o) {
        return std::static_pointer_cast<CountingView>(container->drawableForOverlay(o))->renders;
    };
    EXPECT_EQ(renders(near), 1);
    EXPECT_EQ(renders(far), 0);
    EXPECT_EQ(renders(under), 0);
    container->drawOverlaysInLevel(0);
    EXPECT_EQ(renders(under), 1);
}

// A map view that shows the map rect (0, 0, 64, 64).
class MapStandIn : public UIView, public VMOverlayContainerViewDelegate {
  public:
    static std::shared_ptr<MapStandIn> make() {
        return finishCreate(std::shared_ptr<MapStandIn>(new MapStandIn()),
                            CGRectMake(0, 0, 64, 64));
    }
    VMMapRect visibleMapRect() override { return {{0, 0}, {64, 64}}; }
};

TEST(OverlayFloorTest, DrawsWhatReachesTwiceTheVisibleAreaAndPassesReferenceChanges) {
    const auto floor = VMOverlayFloor::create(CGRectMake(0, 0, 64, 64));
    const auto near = CountingView::make(square(90, 90, 5));
    const auto far = CountingView::make(square(200, 200));
    floor->addSubview(near);
    floor->addSubview(far);
    EXPECT_EQ(near->references, 1);
    // Without a map there is no visible area and nothing reaches it.
    EXPECT_EQ(floor->mapView(), nullptr);
    floor->drawOverlaysWithIsGroundOverlayFlag(false);
    EXPECT_EQ(near->renders, 0);

    const auto map = MapStandIn::make();
    map->addSubview(floor);
    EXPECT_EQ(floor->visibleMapRect(), (VMMapRect{{-32, -32}, {128, 128}}));
    floor->drawOverlaysWithIsGroundOverlayFlag(true);
    EXPECT_EQ(near->renders, 0);
    floor->drawOverlaysWithIsGroundOverlayFlag(false);
    EXPECT_EQ(near->renders, 1);
    EXPECT_EQ(far->renders, 0);
    floor->referenceDidChange();
    EXPECT_EQ(near->references, 2);
    EXPECT_EQ(far->references, 2);
}

}  // namespace

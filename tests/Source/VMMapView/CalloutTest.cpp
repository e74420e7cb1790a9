#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "ManualClock.h"
#include "ScreenPixels.h"
#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIScreen.h"
#include "VAvaCalloutMaskedBackgroundView.h"
#include "VAvaCalloutView.h"
#include "VAvaFrameAdditions.h"
#include "host/HeadlessHost.h"

namespace {

using namespace testsupport;

// Logs the callout's messages; answers clicks only when asked to.
struct CalloutListener : VAvaCalloutViewDelegate {
    bool handlesClicks = false;
    std::optional<double> delay;
    std::vector<std::string> log;
    std::vector<CGSize> offsets;
    std::function<void(VAvaCalloutView&)> onReposition;
    bool respondsToCalloutViewClicked() const override { return handlesClicks; }
    void calloutViewClicked(VAvaCalloutView&) override { log.push_back("clicked"); }
    std::optional<double> calloutViewDelayForRepositionWithSize(VAvaCalloutView& c,
                                                                CGSize offset) override {
        offsets.push_back(offset);
        if (onReposition) onReposition(c);
        return delay;
    }
    void calloutViewWillAppear(VAvaCalloutView&) override { log.push_back("will appear"); }
    void calloutViewDidAppear(VAvaCalloutView&) override { log.push_back("did appear"); }
    void calloutViewWillDisappear(VAvaCalloutView&) override { log.push_back("will disappear"); }
    void calloutViewDidDisappear(VAvaCalloutView&) override { log.push_back("did disappear"); }
};

using Log = std::vector<std::string>;
const CGColor kBoxWhite{0.96, 0.96, 1, 1};

// Text of a label on the composed screen, from a distance below its top: dark pixels over the
// white box.
int inkOf(const CGImageRef& image, const UILabel& label, CGFloat from = 0) {
    CGRect r = label.convertRectToView(label.bounds(), nullptr);
    r.origin.y += from;
    r.size.height -= from;
    int ink = 0;
    for (CGFloat x = r.origin.x; x < CGRectGetMaxX(r); x += 0.5)
        for (CGFloat y = r.origin.y; y < CGRectGetMaxY(r); y += 0.5)
            ink += screenPixel(image, x, y).r < 0.3;
    return ink;
}

class CalloutTest : public ManualClockTest {
  protected:
    void SetUp() override {
        floor = UIView::create(CGRectMake(0, 0, 320, 480));
        floor->setBackgroundColor(UIColor::blueColor());
        host.window()->addSubview(floor);
        pin = UIView::create(CGRectMake(144, 240, 32, 39));
        floor->addSubview(pin);
        // As an application asks for the callout that suits the system.
        callout = VAvaCalloutView::platformCalloutView();
        callout->setDelegate(listener);
    }
    void present(bool animated = false) {
        callout->presentCalloutFromRect(pin->bounds(), pin, floor, animated);
    }
    // The callout's frame in the pin's coordinates.
    CGRect frame() const { return callout->frame(); }
    CGPoint tipInPin() {
        return callout->backgroundView()->convertPointToView(
            callout->backgroundView()->arrowPoint(), pin.get());
    }
    static CGFloat titleWidth(const std::string& t) {
        return NSStringSizeWithFont(t, UIFont::systemFontOfSize(17)).width;
    }

    HeadlessHost host;
    std::shared_ptr<UIView> floor, pin;
    std::shared_ptr<VAvaCalloutView> callout;
    std::shared_ptr<CalloutListener> listener = std::make_shared<CalloutListener>();
};

TEST_F(CalloutTest, TheBoxFitsItsTextAndItsArrowPointsAtThePin) {
    callout->setTitle("维修工单 4711");
    present();
    const CGFloat width = std::max<CGFloat>(61, 24 + titleWidth(callout->title()));
    EXPECT_EQ(frame().size, (CGSize{width, 44 + 13}));
    EXPECT_EQ(frame().origin.y, -57);
    EXPECT_EQ(frame().origin.x * 2, std::floor(frame().origin.x * 2));
    EXPECT_EQ(frame().origin.x, std::round(16 - width / 2));
    EXPECT_EQ(tipInPin(), CGPointMake(16, 0));
    EXPECT_EQ(callout->titleLabel()->frame(), CGRectMake(12, 11, width - 24, 21));
    EXPECT_EQ(callout->currentArrowDirection(), VAvaCalloutArrowDirectionDown);
    EXPECT_TRUE(listener->offsets.empty());

    callout->setSubtitle("北京市东城区");
    present();
    EXPECT_EQ(frame().size.height, 52 + 13);
    EXPECT_EQ(callout->titleLabel()->frame().origin.y, 4);
    EXPECT_EQ(callout->subtitleLabel()->frame().origin.y, 28);

    // Near the top with any direction allowed, it hangs below the pin and its content moves down.
    pin->setFrame(CGRectMake(144, 20, 32, 39));
    callout->setPermittedArrowDirection(VAvaCalloutArrowDirectionAny);
    present();
    EXPECT_EQ(callout->currentArrowDirection(), VAvaCalloutArrowDirectionUp);
    EXPECT_EQ(frame().origin.y, 39);
    EXPECT_EQ(callout->titleLabel()->frame().origin.y, 4 + 13);
    EXPECT_EQ(callout->subtitleLabel()->frame().origin.y, 28 + 13);
    EXPECT_EQ(tipInPin(), CGPointMake(16, 39));
    // It shows all its text: the foot of the subtitle lies below where the box would end if it
    // did not move down. The arrow over the box is white.
    advance(0.01);
    const auto image = host.compose();
    EXPECT_GT(inkOf(image, *callout->titleLabel()), 20);
    EXPECT_GT(inkOf(image, *callout->subtitleLabel(), 11.5), 5);
    EXPECT_TRUE(colourNear(screenPixel(image, 160, 59 + 8), kBoxWhite, 0.03));

    // Width limits: the smallest box, and never wider than the constraint.
    callout->setSubtitle("");
    callout->setTitle("A");
    present();
    EXPECT_EQ(frame().size.width, 61);
    callout->setTitle(std::string(200, 'W'));
    present();
    EXPECT_EQ(frame().size.width, 300);
}

TEST_F(CalloutTest, AnchorNearTheEdgeKeepsTheArrowOnTheBoxAndAsksTheMapToScroll) {
    callout->setTitle("维修工单 4711");
    listener->delay = 1.0 / 3;
    pin->setFrame(CGRectMake(15 - 16, 240, 32, 39));  // anchor 5 points inside the constraint
    present();
    EXPECT_EQ(callout->backgroundView()->arrowPoint().x, 27);
    EXPECT_EQ(tipInPin(), CGPointMake(16, 0));
    ASSERT_EQ(listener->offsets.size(), 1u);
    EXPECT_GT(listener->offsets[0].width, 0);
    EXPECT_TRUE(callout->isHidden());
    advance(0.34);
    EXPECT_FALSE(callout->isHidden());
    EXPECT_EQ(listener->log, (Log{"will appear", "did appear"}));

    // Dismissed while the map scrolls, it never shows.
    listener->log.clear();
    listener->onReposition = [](VAvaCalloutView& c) { c.dismissCalloutAnimated(false); };
    present();
    EXPECT_EQ(callout->superview(), nullptr);
    advance(1);
    EXPECT_TRUE(listener->log.empty());
}

TEST_F(CalloutTest, TheBoxTurnsGreyWhilePressedOnlyForAListener) {
    callout->setTitle("维修工单 4711");
    // Presented in the floor, so that touches find it without a pin that claims them.
    callout->presentCalloutFromRect(pin->frame(), floor, floor, false);
    advance(0.01);
    const CGRect box =
        callout->convertRectToView(CGRectMake(0, 0, frame().size.width, 44), nullptr);
    const CGPoint centre{CGRectGetMidX(box), CGRectGetMidY(box)};
    const CGPoint empty{CGRectGetMaxX(box) - 6, CGRectGetMidY(box)};
    const auto pressedAt = [&](CGPoint p) {
        host.touchDown(0, p);
        const CGColor c = screenPixel(host.compose(), empty.x, empty.y);
        host.touchUp(0, p);
        loop->runUntilIdle();
        return c;
    };
    EXPECT_TRUE(colourNear(pressedAt(centre), kBoxWhite, 0.02));
    EXPECT_EQ(std::count(listener->log.begin(), listener->log.end(), "clicked"), 0);
    listener->handlesClicks = true;
    const double grey = 0.85 * 0.96;
    EXPECT_TRUE(colourNear(pressedAt(centre), CGColor{grey, grey, grey + 0.04, 1}, 0.02));
    EXPECT_EQ(listener->log.back(), "clicked");
    EXPECT_TRUE(colourNear(screenPixel(host.compose(), empty.x, empty.y), kBoxWhite, 0.02));
}

TEST_F(CalloutTest, AnimatedDismissalFadesOutAndAPresentationReplacesTheLast) {
    callout->setTitle("维修工单 4711");
    present(true);
    advance(0.5);
    EXPECT_EQ(listener->log, (Log{"will appear", "did appear"}));
    listener->log.clear();
    callout->dismissCalloutAnimated(true);
    advance(1.0 / 6);
    EXPECT_NE(callout->superview(), nullptr);
    advance(1.0 / 6 + 0.01);
    EXPECT_EQ(callout->superview(), nullptr);
    EXPECT_EQ(listener->log, (Log{"will disappear", "did disappear"}));

    listener->log.clear();
    present();
    advance(0.01);
    present();  // the old presentation goes first, without animation or events
    EXPECT_EQ(callout->superview(), pin);
    callout->dismissCalloutAnimated(false);
    EXPECT_EQ(callout->superview(), nullptr);
    advance(1);
    EXPECT_EQ(listener->log, (Log{"will appear", "did appear"}));
}

}  // namespace

#include "PullRefresh/PullRefreshBaseView.h"

#include <algorithm>
#include <numbers>

#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"

namespace {

constexpr CGFloat kArrowWidth = 16;
constexpr CGFloat kArrowHeight = 36;
// Left of the centre, clear of the longest text.
constexpr CGFloat kArrowCentreOffset = 75;

constexpr CGFloat kTextGray = 0.45;

// A downward arrow drawn in the text's grey; turned over when a release would refresh.
class PullRefreshArrowView : public UIView {
  public:
    static std::shared_ptr<PullRefreshArrowView> create(CGRect frame) {
        return finishCreate(std::shared_ptr<PullRefreshArrowView>(new PullRefreshArrowView()),
                            frame);
    }

    void drawRect(CGRect) override {
        CGContextRef ctx = UIGraphicsGetCurrentContext();
        if (!ctx) return;
        const CGRect b = bounds();
        const CGFloat midX = CGRectGetMidX(b);
        const CGFloat headTop = b.size.height - b.size.width * 0.75;
        CGContextSetGrayFillColor(ctx, kTextGray, 1);
        CGContextFillRect(ctx, CGRectMake(midX - 1.5, 0, 3, headTop + 1));
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 0, headTop);
        CGContextAddLineToPoint(ctx, b.size.width, headTop);
        CGContextAddLineToPoint(ctx, midX, b.size.height);
        CGContextClosePath(ctx);
        CGContextFillPath(ctx);
    }

  protected:
    PullRefreshArrowView() = default;
    void initWithFrame(CGRect frame) override {
        UIView::initWithFrame(frame);
        setBackgroundColor(UIColor::clearColor());
        setOpaque(false);
    }
};

}  // namespace

void PullRefreshBaseView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(UIColor::clearColor());
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);

    statusLabel_ = UILabel::create();
    statusLabel_->setFont(UIFont::boldSystemFontOfSize(14));
    statusLabel_->setTextColor(UIColor::colorWithWhite(kTextGray, 1));
    statusLabel_->setTextAlignment(NSTextAlignmentCenter);
    statusLabel_->setBackgroundColor(UIColor::clearColor());
    addSubview(statusLabel_);

    arrowView_ = PullRefreshArrowView::create(CGRectMake(0, 0, kArrowWidth, kArrowHeight));
    addSubview(arrowView_);

    activityView_ = UIActivityIndicatorView::create(UIActivityIndicatorViewStyleGray);
    addSubview(activityView_);
    setState(State::normal);
}

void PullRefreshBaseView::layoutSubviews() {
    const CGRect b = bounds();
    statusLabel_->setFrame(b);
    const CGPoint side{CGRectGetMidX(b) - kArrowCentreOffset, CGRectGetMidY(b)};
    arrowView_->setCenter(side);
    activityView_->setCenter(side);
}

void PullRefreshBaseView::setScrollView(const std::shared_ptr<UIScrollView>& scrollView) {
    if (auto old = scrollView_.lock()) {
        endRefreshing();
        old->removeObserver(this);
        removeFromSuperview();
    }
    scrollView_ = scrollView;
    if (!scrollView) return;
    // A short or empty list must still be pullable.
    scrollView->setAlwaysBounceVertical(true);
    scrollView->addObserver(weakSelf<PullRefreshBaseView>());
    scrollView->addSubview(sharedSelf<PullRefreshBaseView>());
    setState(State::normal);
}

void PullRefreshBaseView::setState(State state) {
    const State old = state_;
    state_ = state;
    statusLabel_->setText(textForState(state));
    arrowView_->setHidden(state == State::refreshing);
    arrowView_->setTransform(state == State::pulling
                                 ? CGAffineTransformMakeRotation(std::numbers::pi)
                                 : CGAffineTransformIdentity);
    if (state == State::refreshing) {
        activityView_->startAnimating();
    } else {
        activityView_->stopAnimating();
    }
    if ((old == State::refreshing) == (state == State::refreshing)) return;

    auto scroll = scrollView_.lock();
    if (!scroll) return;
    UIEdgeInsets inset = scroll->contentInset();
    if (state == State::refreshing) {
        addedInset_ = refreshingInset();
        inset.top += addedInset_.top;
        inset.bottom += addedInset_.bottom;
        scroll->setContentInset(inset);
        return;
    }
    inset.top -= addedInset_.top;
    inset.bottom -= addedInset_.bottom;
    addedInset_ = {};
    scroll->setContentInset(inset);
    // A moving scroll view springs to its new edges by itself; one at rest is taken there.
    if (scroll->isDragging() || scroll->isDecelerating()) return;
    const CGPoint offset = scroll->contentOffset();
    const CGPoint lo = scroll->minimumContentOffset(), hi = scroll->maximumContentOffset();
    const CGPoint inRange{std::clamp(offset.x, lo.x, hi.x), std::clamp(offset.y, lo.y, hi.y)};
    if (inRange != offset) scroll->setContentOffset(inRange, true);
}

void PullRefreshBaseView::beginRefreshing() {
    if (state_ == State::refreshing) return;
    setState(State::refreshing);
    if (auto d = delegate()) d->refreshViewBeginRefreshing(sharedSelf<PullRefreshBaseView>());
}

void PullRefreshBaseView::endRefreshing() { setState(State::normal); }

#include "UIScrollView.h"

#include <algorithm>
#include <cmath>

#include "UIKit/UIGestureRecognizerBase.h"
#include "UIKit/UITouch.h"

// Watches every touch that begins in its scroll view and hands it to the view; takes the touch
// from the hit subview once the scroll view drags.
class UIScrollViewTracker : public UIGestureRecognizerBase {
  public:
    explicit UIScrollViewTracker(std::weak_ptr<UIScrollView> view) : scrollView_(std::move(view)) {}

    void touchesBegan(const UITouchSet& touches, UIEvent*) override {
        if (auto s = scrollView_.lock(); s && !touches.empty()) s->touchBegan(touches.front());
    }
    void touchesMoved(const UITouchSet& touches, UIEvent*) override {
        if (auto s = scrollView_.lock()) {
            for (const auto& t : touches)
                if (t == s->touch_) s->touchMoved(*t);
        }
    }
    void touchesEnded(const UITouchSet& touches, UIEvent*) override {
        if (auto s = scrollView_.lock()) {
            for (const auto& t : touches)
                if (t == s->touch_) s->touchEnded(*t);
        }
    }
    void touchesCancelled(const UITouchSet& touches, UIEvent*) override {
        if (auto s = scrollView_.lock()) {
            for (const auto& t : touches)
                if (t == s->touch_) s->touchCancelled();
        }
    }
    bool cancelsViewTouches() const override {
        auto s = scrollView_.lock();
        return s && s->dragging_;
    }
    bool isDragging() const { return cancelsViewTouches(); }

  private:
    std::weak_ptr<UIScrollView> scrollView_;
};

namespace {
CGFloat clampTo(CGFloat v, CGFloat lo, CGFloat hi) { return std::min(std::max(v, lo), hi); }

// Beyond an edge the content follows the finger at half speed.
CGFloat rubberBand(CGFloat v, CGFloat lo, CGFloat hi, bool bounces) {
    if (v < lo) return bounces ? lo + (v - lo) / 2 : lo;
    if (v > hi) return bounces ? hi + (v - hi) / 2 : hi;
    return v;
}

// One axis of a deceleration: free exponential decay inside the range, a critically damped
// spring back to the edge outside it.
struct Axis {
    CGFloat pos, vel, lo, hi;
    bool bounces;

    void step(CFTimeInterval h) {
        constexpr CGFloat kSpring = 225;  // ω = 15/s: settles in about a third of a second
        constexpr CGFloat kDamping = 30;
        if (pos < lo || pos > hi) {
            const CGFloat edge = clampTo(pos, lo, hi);
            vel += (-kSpring * (pos - edge) - kDamping * vel) * h;
            const CGFloat next = pos + vel * h;
            // Once it is back at the edge it rests there.
            if ((pos < lo && next >= lo) || (pos > hi && next <= hi)) {
                pos = edge;
                vel = 0;
                return;
            }
            pos = next;
            return;
        }
        vel *= std::pow(UIScrollView::kDecelerationRate, h * 1000);
        pos += vel * h;
        if (!bounces && (pos < lo || pos > hi)) {
            pos = clampTo(pos, lo, hi);
            vel = 0;
        }
    }

    bool settled() const {
        if (pos < lo || pos > hi) {
            return std::abs(pos - clampTo(pos, lo, hi)) < 0.5 && std::abs(vel) < 20;
        }
        return std::abs(vel) < 5;
    }
};
}  // namespace

std::shared_ptr<UIScrollView> UIScrollView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIScrollView>(new UIScrollView()), frame);
}

void UIScrollView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setClipsToBounds(true);
    tracker_ = std::make_shared<UIScrollViewTracker>(weakSelf<UIScrollView>());
    addGestureRecognizer(tracker_);
}

UIScrollView::~UIScrollView() {
    if (timer_) timer_->invalidate();
}

void UIScrollView::setBounds(CGRect b) {
    const CGPoint old = bounds().origin;
    UIView::setBounds(b);
    if (b.origin == old) return;
    contentOffsetDidChange();
    // A copy: an observer may detach itself while it is told.
    const auto observers = observers_;
    for (const auto& weak : observers) {
        if (auto o = weak.lock()) o->scrollViewContentOffsetDidChange(*this);
    }
    if (auto d = delegate()) d->scrollViewDidScroll(sharedSelf<UIScrollView>());
}

void UIScrollView::addObserver(std::weak_ptr<UIScrollViewObserver> observer) {
    std::erase_if(observers_, [](const auto& o) { return o.expired(); });
    observers_.push_back(std::move(observer));
}

void UIScrollView::removeObserver(const UIScrollViewObserver* observer) {
    std::erase_if(observers_, [observer](const auto& o) {
        const auto locked = o.lock();
        return !locked || locked.get() == observer;
    });
}

void UIScrollView::setContentOffset(CGPoint offset) {
    CGRect b = bounds();
    b.origin = offset;
    setBounds(b);
}

void UIScrollView::setContentOffset(CGPoint offset, bool animated) {
    if (!animated) {
        stopMotion();
        setContentOffset(offset);
        return;
    }
    stopMotion();
    if (offset == contentOffset()) return;
    animationFrom_ = contentOffset();
    animationTo_ = offset;
    animationStart_ = Clock::now();
    motion_ = Motion::Animating;
    startTimer();
}

void UIScrollView::setContentSize(CGSize size) {
    contentSize_ = size;
    setNeedsLayout();
}

void UIScrollView::setScrollEnabled(bool e) {
    scrollEnabled_ = e;
    if (!e && dragging_) touchCancelled();
}

CGPoint UIScrollView::minimumContentOffset() const {
    return {-contentInset_.left, -contentInset_.top};
}

CGPoint UIScrollView::maximumContentOffset() const {
    const CGSize size = bounds().size;
    const CGPoint lo = minimumContentOffset();
    return {std::max(lo.x, contentSize_.width + contentInset_.right - size.width),
            std::max(lo.y, contentSize_.height + contentInset_.bottom - size.height)};
}

bool UIScrollView::canScrollHorizontally() const {
    return alwaysBounceHorizontal_ || maximumContentOffset().x > minimumContentOffset().x;
}

bool UIScrollView::canScrollVertically() const {
    return alwaysBounceVertical_ || maximumContentOffset().y > minimumContentOffset().y;
}

bool UIScrollView::isOutOfRange(CGPoint o) const {
    const CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    return o.x < lo.x || o.x > hi.x || o.y < lo.y || o.y > hi.y;
}

void UIScrollView::touchBegan(const std::shared_ptr<UITouch>& touch) {
    if (touch_) return;  // one finger scrolls; others are ignored
    touch_ = touch;
    tracking_ = true;
    // A finger on moving content stops it, and that touch is not a tap.
    touchStoppedMotion_ = motion_ != Motion::None;
    stopMotion();
    touchStart_ = touch->locationInWindow();
    samples_.clear();
    samples_.push_back({touch->timestamp(), touchStart_});
    if (!touchStoppedMotion_) trackingBeganWithTouch(*touch);
}

CGPoint UIScrollView::dragOffsetFor(CGPoint finger) const {
    const CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    CGPoint o = offsetAtDragStart_;
    if (canScrollHorizontally())
        o.x = rubberBand(offsetAtDragStart_.x - (finger.x - dragAnchor_.x), lo.x, hi.x, bounces_);
    if (canScrollVertically())
        o.y = rubberBand(offsetAtDragStart_.y - (finger.y - dragAnchor_.y), lo.y, hi.y, bounces_);
    return o;
}

void UIScrollView::touchMoved(UITouch& touch) {
    const CGPoint p = touch.locationInWindow();
    samples_.push_back({touch.timestamp(), p});
    while (samples_.size() > 2 && touch.timestamp() - samples_.front().time > 0.15)
        samples_.pop_front();
    if (!dragging_) {
        if (!scrollEnabled_) return;
        const CGFloat dx = canScrollHorizontally() ? p.x - touchStart_.x : 0;
        const CGFloat dy = canScrollVertically() ? p.y - touchStart_.y : 0;
        if (std::hypot(dx, dy) < kDragSlop) return;
        // An inner scroll view that already drags this finger keeps it.
        for (const auto& r : touch.gestureRecognizers()) {
            auto other = dynamic_cast<UIScrollViewTracker*>(r.get());
            if (other && other != tracker_.get() && other->isDragging()) return;
        }
        dragging_ = true;
        // The content starts following from here, so it does not jump by the slop.
        dragAnchor_ = p;
        offsetAtDragStart_ = contentOffset();
        trackingCancelled();
        if (auto d = delegate()) d->scrollViewWillBeginDragging(sharedSelf<UIScrollView>());
        return;
    }
    setContentOffset(dragOffsetFor(p));
}

CGPoint UIScrollView::releaseVelocity() const {
    if (samples_.size() < 2) return {};
    const Sample& last = samples_.back();
    // Use the movement of the last tenth of a second; a finger that rested lets go slowly.
    const Sample* first = &samples_.front();
    for (const auto& s : samples_) {
        if (last.time - s.time <= 0.1) {
            first = &s;
            break;
        }
    }
    const CFTimeInterval dt = last.time - first->time;
    if (dt < 1e-3) return {};
    CGPoint v{-(last.point.x - first->point.x) / dt, -(last.point.y - first->point.y) / dt};
    if (!canScrollHorizontally()) v.x = 0;
    if (!canScrollVertically()) v.y = 0;
    return v;
}

void UIScrollView::touchEnded(UITouch& touch) {
    auto self = sharedSelf<UIScrollView>();
    const bool wasDragging = dragging_;
    if (wasDragging) {
        samples_.push_back({touch.timestamp(), touch.locationInWindow()});
        setContentOffset(dragOffsetFor(touch.locationInWindow()));
    }
    touch_.reset();
    tracking_ = false;
    dragging_ = false;
    if (!wasDragging) {
        if (!touchStoppedMotion_) trackingTappedWithTouch(touch);
        return;
    }
    velocity_ = releaseVelocity();
    const bool fast = std::hypot(velocity_.x, velocity_.y) >= kMinimumDecelerationVelocity;
    const bool decelerate = fast || isOutOfRange(contentOffset());
    if (!fast) velocity_ = {};
    if (auto d = delegate()) d->scrollViewDidEndDragging(self, decelerate);
    if (!decelerate) return;
    if (auto d = delegate()) d->scrollViewWillBeginDecelerating(self);
    decelerating_ = true;
    motion_ = Motion::Decelerating;
    startTimer();
}

void UIScrollView::touchCancelled() {
    auto self = sharedSelf<UIScrollView>();
    const bool wasDragging = dragging_;
    touch_.reset();
    tracking_ = false;
    dragging_ = false;
    trackingCancelled();
    if (!wasDragging) return;
    velocity_ = {};
    const bool back = isOutOfRange(contentOffset());
    if (auto d = delegate()) d->scrollViewDidEndDragging(self, back);
    if (!back) return;
    if (auto d = delegate()) d->scrollViewWillBeginDecelerating(self);
    decelerating_ = true;
    motion_ = Motion::Decelerating;
    startTimer();
}

void UIScrollView::startTimer() {
    if (timer_) timer_->invalidate();
    lastStep_ = Clock::now();
    std::weak_ptr<UIScrollView> weak = weakSelf<UIScrollView>();
    timer_ = NSTimer::scheduledTimerWithTimeInterval(kFrameInterval, true, [weak](NSTimer&) {
        if (auto s = weak.lock()) s->step();
    });
}

void UIScrollView::stopMotion() {
    if (timer_) timer_->invalidate();
    timer_.reset();
    motion_ = Motion::None;
    decelerating_ = false;
}

void UIScrollView::step() {
    auto self = sharedSelf<UIScrollView>();
    const CFTimeInterval now = Clock::now();
    const CFTimeInterval dt = now - lastStep_;
    lastStep_ = now;
    if (motion_ == Motion::Animating) {
        stepAnimation();
        return;
    }
    if (motion_ == Motion::Decelerating) stepDeceleration(dt);
}

void UIScrollView::stepAnimation() {
    const CFTimeInterval t =
        std::min(1.0, (Clock::now() - animationStart_) / kScrollAnimationDuration);
    const CGFloat eased = 1 - std::pow(1 - t, 3);
    setContentOffset(CGPoint{animationFrom_.x + (animationTo_.x - animationFrom_.x) * eased,
                             animationFrom_.y + (animationTo_.y - animationFrom_.y) * eased});
    if (t < 1 || motion_ != Motion::Animating) return;
    stopMotion();
    if (auto d = delegate()) d->scrollViewDidEndScrollingAnimation(sharedSelf<UIScrollView>());
}

void UIScrollView::stepDeceleration(CFTimeInterval dt) {
    const CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    const CGPoint o = contentOffset();
    Axis x{o.x, velocity_.x, lo.x, hi.x, bounces_};
    Axis y{o.y, velocity_.y, lo.y, hi.y, bounces_};
    // Small fixed steps keep the spring stable whatever the timer's lateness.
    constexpr CFTimeInterval kStep = 1.0 / 240;
    for (CFTimeInterval done = 0; done < dt - 1e-9; done += kStep) {
        const CFTimeInterval h = std::min(kStep, dt - done);
        x.step(h);
        y.step(h);
    }
    velocity_ = {x.vel, y.vel};
    if (x.settled() && y.settled()) {
        setContentOffset(CGPoint{clampTo(x.pos, lo.x, hi.x), clampTo(y.pos, lo.y, hi.y)});
        endDeceleration();
        return;
    }
    setContentOffset(CGPoint{x.pos, y.pos});
}

void UIScrollView::endDeceleration() {
    stopMotion();
    velocity_ = {};
    if (auto d = delegate()) d->scrollViewDidEndDecelerating(sharedSelf<UIScrollView>());
}

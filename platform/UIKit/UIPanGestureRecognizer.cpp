#include "UIPanGestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "UIKit/UIView.h"

namespace {

// A vector in window coordinates expressed in a view's coordinates.
CGPoint vectorInView(CGPoint v, const UIView* view) {
    if (!view) return v;
    const CGPoint a = view->convertPointFromView(CGPointZero, nullptr);
    const CGPoint b = view->convertPointFromView(v, nullptr);
    return {b.x - a.x, b.y - a.y};
}

CGPoint vectorInWindow(CGPoint v, const UIView* view) {
    if (!view) return v;
    const CGPoint a = view->convertPointToView(CGPointZero, nullptr);
    const CGPoint b = view->convertPointToView(v, nullptr);
    return {b.x - a.x, b.y - a.y};
}

}  // namespace

CGPoint UIPanGestureRecognizer::translationInView(const UIView* view) const {
    const CGPoint c = lastCentroid_;
    return vectorInView({c.x - origin_.x, c.y - origin_.y}, view);
}

void UIPanGestureRecognizer::setTranslation(CGPoint translation, const UIView* view) {
    const CGPoint t = vectorInWindow(translation, view);
    origin_ = {lastCentroid_.x - t.x, lastCentroid_.y - t.y};
}

CGPoint UIPanGestureRecognizer::velocityInView(const UIView* view) const {
    return vectorInView(rateOf(samples_), view);
}

CGPoint UIPanGestureRecognizer::centroidWithout(const UITouchSet& leaving) const {
    CGPoint sum;
    double n = 0;
    for (const auto& t : trackedTouches()) {
        if (std::find(leaving.begin(), leaving.end(), t) != leaving.end()) continue;
        sum.x += t->locationInWindow().x;
        sum.y += t->locationInWindow().y;
        ++n;
    }
    return n > 0 ? CGPoint{sum.x / n, sum.y / n} : lastCentroid_;
}

void UIPanGestureRecognizer::rebase(CGPoint oldCentroid, const UITouchSet& leaving) {
    const CGPoint now = centroidWithout(leaving);
    origin_.x += now.x - oldCentroid.x;
    origin_.y += now.y - oldCentroid.y;
    lastCentroid_ = now;
    samples_.clear();
}

void UIPanGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    const std::size_t down = trackedTouches().size();
    if (down == touches.size()) {
        origin_ = lastCentroid_ = centroidInWindow();
        samples_.clear();
        addSample(samples_, touches.front()->timestamp(), lastCentroid_);
    } else {
        // The new fingers are in the centroid already; the old centroid excludes them.
        const CGPoint before = lastCentroid_;
        lastCentroid_ = centroidInWindow();
        origin_.x += lastCentroid_.x - before.x;
        origin_.y += lastCentroid_.y - before.y;
        samples_.clear();
        addSample(samples_, touches.front()->timestamp(), lastCentroid_);
    }
    if (state() == UIGestureRecognizerStatePossible && down > maximumTouches_)
        setState(UIGestureRecognizerStateFailed);
}

void UIPanGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    lastCentroid_ = centroidInWindow();
    addSample(samples_, touches.front()->timestamp(), lastCentroid_);
    const std::size_t down = trackedTouches().size();
    if (state() == UIGestureRecognizerStatePossible) {
        if (down < minimumTouches_ || down > maximumTouches_) return;
        const double moved = std::hypot(lastCentroid_.x - origin_.x, lastCentroid_.y - origin_.y);
        if (moved >= kMinimumDistance) setState(UIGestureRecognizerStateBegan);
        return;
    }
    setState(UIGestureRecognizerStateChanged);
}

void UIPanGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    const std::size_t remaining = trackedTouches().size() - touches.size();
    if (remaining == 0) {
        lastCentroid_ = centroidInWindow();
        addSample(samples_, touches.front()->timestamp(), lastCentroid_);
        endOrFail();
        return;
    }
    rebase(centroidInWindow(), touches);
    if (state() != UIGestureRecognizerStatePossible && remaining < minimumTouches_)
        setState(UIGestureRecognizerStateEnded);
}

void UIPanGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    samples_.clear();
    origin_ = lastCentroid_ = CGPointZero;
}

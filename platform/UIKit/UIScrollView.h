#pragma once

#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "Foundation/NSTimer.h"
#include "UIKit/UIView.h"

class UIScrollView;
class UIScrollViewTracker;

// Optional callbacks of a scroll view; the defaults do nothing.
class UIScrollViewDelegate {
  public:
    virtual ~UIScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(const std::shared_ptr<UIScrollView>&) {}
    virtual void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) {}
    virtual void scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>&,
                                          bool /*willDecelerate*/) {}
    virtual void scrollViewWillBeginDecelerating(const std::shared_ptr<UIScrollView>&) {}
    virtual void scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>&) {}
    virtual void scrollViewDidEndScrollingAnimation(const std::shared_ptr<UIScrollView>&) {}
};

// Hears of a scroll view's offset beside its delegate, as a view attached to the scroll view
// (a pull-down refresh header) must while the screen is the delegate.
class UIScrollViewObserver {
  public:
    virtual ~UIScrollViewObserver() = default;
    virtual void scrollViewContentOffsetDidChange(UIScrollView& scrollView) = 0;
};

// A view whose bounds origin (the content offset) moves over a larger content. It follows a
// finger itself: every touch that begins inside it is watched by a tracker attached as its
// first gesture recogniser, so drags that start on subviews (cells, buttons) scroll too; once a
// drag begins, the subview's touch is cancelled. After a release it decelerates on timers of the
// current run loop, read from Clock, and springs back when it ended beyond its content.
class UIScrollView : public UIView {
  public:
    static std::shared_ptr<UIScrollView> create(CGRect frame = CGRectZero);
    ~UIScrollView() override;

    // A finger must move this far before a drag begins.
    static constexpr CGFloat kDragSlop = 10;
    // Slower releases end without decelerating (points per second).
    static constexpr CGFloat kMinimumDecelerationVelocity = 50;
    // Fraction of the speed kept per millisecond while decelerating.
    static constexpr CGFloat kDecelerationRate = 0.998;
    static constexpr CFTimeInterval kFrameInterval = 1.0 / 60;
    static constexpr CFTimeInterval kScrollAnimationDuration = 0.3;

    CGPoint contentOffset() const { return bounds().origin; }
    void setContentOffset(CGPoint offset);
    // Animated: steps to the offset on the run loop over kScrollAnimationDuration, then tells
    // scrollViewDidEndScrollingAnimation.
    void setContentOffset(CGPoint offset, bool animated);
    CGSize contentSize() const { return contentSize_; }
    void setContentSize(CGSize size);
    UIEdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(UIEdgeInsets inset) { contentInset_ = inset; }

    bool bounces() const { return bounces_; }
    void setBounces(bool b) { bounces_ = b; }
    // Drags along an axis even when the content does not exceed the bounds there.
    bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
    void setAlwaysBounceVertical(bool b) { alwaysBounceVertical_ = b; }
    bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
    void setAlwaysBounceHorizontal(bool b) { alwaysBounceHorizontal_ = b; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool e);
    bool showsHorizontalScrollIndicator() const { return showsHorizontalIndicator_; }
    void setShowsHorizontalScrollIndicator(bool s) { showsHorizontalIndicator_ = s; }
    bool showsVerticalScrollIndicator() const { return showsVerticalIndicator_; }
    void setShowsVerticalScrollIndicator(bool s) { showsVerticalIndicator_ = s; }

    bool isTracking() const { return tracking_; }
    bool isDragging() const { return dragging_; }
    bool isDecelerating() const { return decelerating_; }

    std::shared_ptr<UIScrollViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIScrollViewDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    // Observers are held weakly and told of each offset change before the delegate.
    void addObserver(std::weak_ptr<UIScrollViewObserver> observer);
    void removeObserver(const UIScrollViewObserver* observer);

    // The offsets the content allows: from -inset to the content's far edge plus inset.
    CGPoint minimumContentOffset() const;
    CGPoint maximumContentOffset() const;

    void setBounds(CGRect bounds) override;

  protected:
    UIScrollView() = default;
    void initWithFrame(CGRect frame) override;

    // Subclass hooks: the offset moved (before the delegate hears of it); a touch came down, a
    // touch ended without dragging (a tap), the touch turned into a drag or was cancelled.
    virtual void contentOffsetDidChange() {}
    virtual void trackingBeganWithTouch(UITouch&) {}
    virtual void trackingTappedWithTouch(UITouch&) {}
    virtual void trackingCancelled() {}

  private:
    friend class UIScrollViewTracker;
    enum class Motion { None, Decelerating, Animating };
    struct Sample {
        CFTimeInterval time;
        CGPoint point;
    };

    void touchBegan(const std::shared_ptr<UITouch>& touch);
    void touchMoved(UITouch& touch);
    void touchEnded(UITouch& touch);
    void touchCancelled();
    bool canScrollHorizontally() const;
    bool canScrollVertically() const;
    CGPoint dragOffsetFor(CGPoint fingerInWindow) const;
    CGPoint releaseVelocity() const;
    bool isOutOfRange(CGPoint offset) const;
    void startTimer();
    void stopMotion();
    void step();
    void stepDeceleration(CFTimeInterval dt);
    void stepAnimation();
    void endDeceleration();

    CGSize contentSize_;
    UIEdgeInsets contentInset_;
    bool bounces_ = true;
    bool alwaysBounceVertical_ = false;
    bool alwaysBounceHorizontal_ = false;
    bool scrollEnabled_ = true;
    bool showsHorizontalIndicator_ = true;
    bool showsVerticalIndicator_ = true;
    std::weak_ptr<UIScrollViewDelegate> delegate_;
    std::vector<std::weak_ptr<UIScrollViewObserver>> observers_;
    std::shared_ptr<UIScrollViewTracker> tracker_;

    // The finger being followed.
    std::shared_ptr<UITouch> touch_;
    bool tracking_ = false;
    bool dragging_ = false;
    bool touchStoppedMotion_ = false;
    CGPoint touchStart_;
    CGPoint dragAnchor_;
    CGPoint offsetAtDragStart_;
    std::deque<Sample> samples_;

    Motion motion_ = Motion::None;
    bool decelerating_ = false;
    std::shared_ptr<NSTimer> timer_;
    CFTimeInterval lastStep_ = 0;
    CGPoint velocity_;
    CGPoint animationFrom_;
    CGPoint animationTo_;
    CFTimeInterval animationStart_ = 0;
};

#pragma once

#include <memory>
#include <optional>
#include <string>

#include "QuartzCore/CAAnimation.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIView.h"
#include "VAvaCalloutBackgroundView.h"

class VAvaCalloutView;

// Every message optional. The two answers that tell "does not respond" apart from a value are
// nullopt and respondsToCalloutViewClicked() false.
class VAvaCalloutViewDelegate {
  public:
    virtual ~VAvaCalloutViewDelegate() = default;
    virtual std::optional<bool> calloutViewShouldHighlight(VAvaCalloutView&) {
        return std::nullopt;
    }
    virtual bool respondsToCalloutViewClicked() const { return false; }
    virtual void calloutViewClicked(VAvaCalloutView&) {}
    // Seconds to wait while the map scrolls by the offset that brings the callout into view.
    virtual std::optional<double> calloutViewDelayForRepositionWithSize(VAvaCalloutView&,
                                                                        CGSize /*offset*/) {
        return std::nullopt;
    }
    virtual void calloutViewWillAppear(VAvaCalloutView&) {}
    virtual void calloutViewDidAppear(VAvaCalloutView&) {}
    virtual void calloutViewWillDisappear(VAvaCalloutView&) {}
    virtual void calloutViewDidDisappear(VAvaCalloutView&) {}
};

enum VAvaCalloutArrowDirection : uint64_t {
    VAvaCalloutArrowDirectionUp = 1,
    VAvaCalloutArrowDirectionDown = 2,
    VAvaCalloutArrowDirectionAny = 3,
};

enum VAvaCalloutAnimation : int64_t {
    VAvaCalloutAnimationBounce = 0,
    VAvaCalloutAnimationFade = 1,
    VAvaCalloutAnimationStretch = 2,
};

// The bubble a selected annotation shows: title and subtitle (or a content view of the
// application's), optional accessories, and an arrow at the annotation. It stays inside a
// constraining layer, asking its delegate to scroll the map when it cannot, and comes and goes
// with an animation.
class VAvaCalloutView : public UIView, public CAAnimationDelegate {
  public:
    static constexpr CGFloat kArrowHeight = 13;
    static std::shared_ptr<VAvaCalloutView> create(CGRect frame = CGRectZero);
    // The callout that suits the running system. No older system's classic callout ships with
    // this kit, so it is this one everywhere.
    static std::shared_ptr<VAvaCalloutView> platformCalloutView() { return create(); }

    std::shared_ptr<VAvaCalloutViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VAvaCalloutViewDelegate> d) { delegate_ = std::move(d); }
    const std::string& title() const { return title_; }
    void setTitle(std::string t) { title_ = std::move(t); }
    const std::string& subtitle() const { return subtitle_; }
    void setSubtitle(std::string s) { subtitle_ = std::move(s); }
    const std::shared_ptr<UIView>& leftAccessoryView() const { return leftAccessoryView_; }
    void setLeftAccessoryView(std::shared_ptr<UIView> v) { leftAccessoryView_ = std::move(v); }
    const std::shared_ptr<UIView>& rightAccessoryView() const { return rightAccessoryView_; }
    void setRightAccessoryView(std::shared_ptr<UIView> v) { rightAccessoryView_ = std::move(v); }
    uint64_t permittedArrowDirection() const { return permittedArrowDirection_; }
    void setPermittedArrowDirection(uint64_t d) { permittedArrowDirection_ = d; }
    uint64_t currentArrowDirection() const { return currentArrowDirection_; }
    const std::shared_ptr<UIView>& titleView() const { return titleView_; }
    void setTitleView(std::shared_ptr<UIView> v) { titleView_ = std::move(v); }
    const std::shared_ptr<UIView>& subtitleView() const { return subtitleView_; }
    void setSubtitleView(std::shared_ptr<UIView> v) { subtitleView_ = std::move(v); }
    const std::shared_ptr<UIView>& contentView() const { return contentView_; }
    void setContentView(std::shared_ptr<UIView> v) { contentView_ = std::move(v); }
    int64_t presentAnimation() const { return presentAnimation_; }
    void setPresentAnimation(int64_t a) { presentAnimation_ = a; }
    int64_t dismissAnimation() const { return dismissAnimation_; }
    void setDismissAnimation(int64_t a) { dismissAnimation_ = a; }
    const std::shared_ptr<UIButton>& containerView() const { return containerView_; }
    CGPoint calloutOffset() const { return calloutOffset_; }
    void setCalloutOffset(CGPoint p) { calloutOffset_ = p; }
    UIEdgeInsets constrainedInsets() const { return constrainedInsets_; }
    void setConstrainedInsets(UIEdgeInsets i) { constrainedInsets_ = i; }
    const std::shared_ptr<VAvaCalloutBackgroundView>& backgroundView();
    void setBackgroundView(std::shared_ptr<VAvaCalloutBackgroundView> v) {
        backgroundView_ = std::move(v);
    }
    // The application's views when set, else the default labels, made on first use.
    std::shared_ptr<UIView> titleViewOrDefault() const;
    std::shared_ptr<UIView> subtitleViewOrDefault() const;
    const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<UILabel>& subtitleLabel() const { return subtitleLabel_; }

    bool supportsHighlighting() const;
    CGFloat calloutContainerHeight() const;
    CGFloat calloutHeight() const { return calloutContainerHeight() + kArrowHeight; }
    CGSize sizeThatFits(CGSize size) const override;
    // How far to move the inner rectangle so that it lies inside the outer one.
    static CGSize offsetToContainRect(CGRect inner, CGRect outer);

    void presentCalloutFromRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                const std::shared_ptr<UIView>& constrainedToView, bool animated);
    void presentCalloutFromRect(CGRect rect, const std::shared_ptr<CALayer>& layer,
                                const std::shared_ptr<CALayer>& constrainedToLayer, bool animated);
    void presentCalloutFromRect(CGRect rect, const std::shared_ptr<CALayer>& layer,
                                const std::shared_ptr<UIView>& ofView,
                                const std::shared_ptr<CALayer>& constrainedToLayer, bool animated);
    void dismissCalloutAnimated(bool animated);
    void removeFromParent();
    // Null for a type it does not know.
    static std::shared_ptr<CAAnimation> animationWithType(int64_t type, bool presenting);

    void layoutSubviews() override;
    void animationDidStart(const std::shared_ptr<CAAnimation>& anim) override;
    void animationDidStop(const std::shared_ptr<CAAnimation>& anim, bool finished) override;

  protected:
    VAvaCalloutView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void highlightIfNecessary();
    void unhighlightIfNecessary();
    void calloutClicked();
    void rebuildSubviews();
    CGFloat leftAccessoryVerticalMargin() const;
    CGFloat leftAccessoryHorizontalMargin() const;
    CGFloat innerContentMarginLeft() const;
    CGFloat rightAccessoryVerticalMargin() const;
    CGFloat rightAccessoryHorizontalMargin() const;
    CGFloat innerContentMarginRight() const;

    bool popupCancelled_ = false;
    std::weak_ptr<VAvaCalloutViewDelegate> delegate_;
    std::string title_, subtitle_;
    std::shared_ptr<UIView> leftAccessoryView_, rightAccessoryView_;
    uint64_t permittedArrowDirection_ = VAvaCalloutArrowDirectionDown;
    uint64_t currentArrowDirection_ = VAvaCalloutArrowDirectionDown;
    std::shared_ptr<VAvaCalloutBackgroundView> backgroundView_;
    std::shared_ptr<UIView> titleView_, subtitleView_, contentView_;
    int64_t presentAnimation_ = VAvaCalloutAnimationBounce;
    int64_t dismissAnimation_ = VAvaCalloutAnimationFade;
    std::shared_ptr<UIButton> containerView_;
    // Made on first use, by const readers too.
    mutable std::shared_ptr<UILabel> titleLabel_, subtitleLabel_;
    CGPoint calloutOffset_{};
    UIEdgeInsets constrainedInsets_{};
};

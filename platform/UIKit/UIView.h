#pragma once

#include <memory>
#include <vector>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/ThreadChecker.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIResponder.h"

class UIWindow;
class UIGestureRecognizerBase;

enum UIViewAutoresizing : unsigned {
    UIViewAutoresizingNone = 0,
    UIViewAutoresizingFlexibleLeftMargin = 1,
    UIViewAutoresizingFlexibleWidth = 2,
    UIViewAutoresizingFlexibleRightMargin = 4,
    UIViewAutoresizingFlexibleTopMargin = 8,
    UIViewAutoresizingFlexibleHeight = 16,
    UIViewAutoresizingFlexibleBottomMargin = 32,
};

enum UIViewContentMode {
    UIViewContentModeScaleToFill,
    UIViewContentModeScaleAspectFit,
    UIViewContentModeScaleAspectFill,
    UIViewContentModeRedraw,
    UIViewContentModeCenter,
    UIViewContentModeTop,
    UIViewContentModeBottom,
    UIViewContentModeLeft,
    UIViewContentModeRight,
    UIViewContentModeTopLeft,
    UIViewContentModeTopRight,
    UIViewContentModeBottomLeft,
    UIViewContentModeBottomRight,
};

// A rectangle of the screen backed by a layer that holds its geometry. Views are made by
// static create() factories: the constructor only allocates, initWithFrame() (virtual, so
// subclasses build their parts there) runs once the object is owned by a shared_ptr.
// A view belongs to the thread that made it: debug and sanitizer builds abort when another
// thread changes its place in the tree, its geometry or its visibility.
class UIView : public UIResponder, public CALayerDelegate {
  public:
    static std::shared_ptr<UIView> create(CGRect frame = CGRectZero);
    ~UIView() override;

    const std::shared_ptr<CALayer>& layer() const { return layer_; }

    // Geometry.
    CGRect frame() const { return layer_->frame(); }
    virtual void setFrame(CGRect frame);
    CGRect bounds() const { return layer_->bounds(); }
    virtual void setBounds(CGRect bounds);
    CGPoint center() const { return layer_->position(); }
    void setCenter(CGPoint center) {
        verifyThread();
        layer_->setPosition(center);
    }
    CGAffineTransform transform() const { return layer_->affineTransform(); }
    void setTransform(CGAffineTransform t) {
        verifyThread();
        layer_->setAffineTransform(t);
    }
    CGFloat contentScaleFactor() const { return layer_->contentsScale(); }
    void setContentScaleFactor(CGFloat s) {
        layer_->setContentsScale(s);
        setNeedsDisplay();
    }

    // Appearance.
    CGFloat alpha() const { return layer_->opacity(); }
    void setAlpha(CGFloat a) {
        verifyThread();
        layer_->setOpacity(static_cast<float>(a));
    }
    bool isHidden() const { return layer_->isHidden(); }
    virtual void setHidden(bool hidden);
    bool isOpaque() const { return layer_->isOpaque(); }
    void setOpaque(bool o) { layer_->setOpaque(o); }
    const UIColorRef& backgroundColor() const { return backgroundColor_; }
    virtual void setBackgroundColor(UIColorRef color);
    bool clipsToBounds() const { return layer_->masksToBounds(); }
    void setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }
    UIViewContentMode contentMode() const { return contentMode_; }
    virtual void setContentMode(UIViewContentMode mode);
    const UIColorRef& tintColor() const;
    void setTintColor(UIColorRef color) { tintColor_ = std::move(color); }

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool e) { userInteractionEnabled_ = e; }
    bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
    void setMultipleTouchEnabled(bool e) { multipleTouchEnabled_ = e; }
    bool isExclusiveTouch() const { return exclusiveTouch_; }
    void setExclusiveTouch(bool e) { exclusiveTouch_ = e; }
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool a) { autoresizesSubviews_ = a; }

    // Hierarchy. addSubview re-parents a view that has a superview already.
    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    std::shared_ptr<UIWindow> window() const;
    void addSubview(const std::shared_ptr<UIView>& view);
    void insertSubviewAtIndex(const std::shared_ptr<UIView>& view, size_t index);
    void insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const UIView* sibling);
    void insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const UIView* sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const UIView* view);
    void sendSubviewToBack(const UIView* view);
    void exchangeSubviewAtIndex(size_t a, size_t b);
    bool isDescendantOfView(const UIView* view) const;
    // Depth-first, this view first.
    std::shared_ptr<UIView> viewWithTag(int tag);

    // Hooks.
    virtual void didAddSubview(const std::shared_ptr<UIView>&) {}
    virtual void willRemoveSubview(const std::shared_ptr<UIView>&) {}
    virtual void willMoveToSuperview(const std::shared_ptr<UIView>&) {}
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(const std::shared_ptr<UIWindow>&) {}
    virtual void didMoveToWindow() {}

    // Layout and drawing.
    virtual void layoutSubviews() {}
    void setNeedsLayout();
    void layoutIfNeeded();
    virtual CGSize sizeThatFits(CGSize size) const;
    void sizeToFit();
    void setNeedsDisplay();
    void setNeedsDisplayInRect(CGRect) { setNeedsDisplay(); }
    // Draws into UIGraphicsGetCurrentContext(): points, top-left origin, at screen scale.
    virtual void drawRect(CGRect rect);

    // Hit testing and coordinates; a null view stands for the window.
    virtual std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event);
    virtual bool pointInside(CGPoint point, UIEvent* event) const;
    CGPoint convertPointToView(CGPoint p, const UIView* view) const;
    CGPoint convertPointFromView(CGPoint p, const UIView* view) const;
    CGRect convertRectToView(CGRect r, const UIView* view) const;
    CGRect convertRectFromView(CGRect r, const UIView* view) const;

    // Gesture recognisers (see UIGestureRecognizerBase).
    void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizerBase>& recognizer);
    void removeGestureRecognizer(const UIGestureRecognizerBase* recognizer);
    const std::vector<std::shared_ptr<UIGestureRecognizerBase>>& gestureRecognizers() const {
        return recognizers_;
    }

    // The controller whose root view this is comes next in the responder chain; the view
    // controller module sets it.
    void setViewController(std::weak_ptr<UIResponder> controller) {
        controller_ = std::move(controller);
    }
    std::shared_ptr<UIResponder> viewController() const { return controller_.lock(); }
    std::shared_ptr<UIResponder> nextResponder() const override;
    bool becomeFirstResponder() override;

    // CALayerDelegate.
    bool displayLayer(CALayer& layer) override;
    void layoutSublayersOfLayer(CALayer& layer) override;

  protected:
    UIView() = default;
    virtual void initWithFrame(CGRect frame);
    // The layer class of this view kind.
    virtual std::shared_ptr<CALayer> makeLayer() const { return CALayer::layer(); }

    template <class T>
    static std::shared_ptr<T> finishCreate(std::shared_ptr<T> view, CGRect frame) {
        static_cast<UIView&>(*view).initWithFrame(frame);
        return view;
    }
    void verifyThread(ThreadCallSite call = ThreadCallSite::current()) const {
        threadChecker_.verifyThread(call);
    }

  private:
    void resizeSubviews(CGSize oldSize);
    void autoresize(CGSize oldSuperSize, CGSize newSuperSize);
    void moveToWindow(const std::shared_ptr<UIWindow>& oldWindow,
                      const std::shared_ptr<UIWindow>& newWindow);
    void detachSubview(const UIView* view);
    void insertChecked(std::shared_ptr<UIView> view, size_t index);
    void placeSubviewLayer(size_t index);

    ThreadChecker threadChecker_{"UIView"};
    std::shared_ptr<CALayer> layer_;
    std::weak_ptr<UIView> superview_;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::vector<std::shared_ptr<UIGestureRecognizerBase>> recognizers_;
    std::weak_ptr<UIResponder> controller_;
    UIColorRef backgroundColor_;
    UIColorRef tintColor_;
    UIViewContentMode contentMode_ = UIViewContentModeScaleToFill;
    int tag_ = 0;
    bool userInteractionEnabled_ = true;
    bool multipleTouchEnabled_ = false;
    bool exclusiveTouch_ = false;
    bool autoresizesSubviews_ = true;
    unsigned autoresizingMask_ = UIViewAutoresizingNone;
    // Set once the base drawRect ran: the view draws nothing, so it keeps no backing image.
    bool drawsNothing_ = false;
};

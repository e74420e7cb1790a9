#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGImage.h"
#include "Foundation/Clock.h"
#include "Foundation/NSObject.h"
#include "QuartzCore/CATransform3D.h"

class CALayer;
class CAAnimation;  // defined by the animation module; layers only keep them by key

// Optional callbacks of a layer's delegate (a view for its own layer).
class CALayerDelegate {
  public:
    virtual ~CALayerDelegate() = default;
    // Returns true when it filled the layer's contents itself (no drawing pass then).
    virtual bool displayLayer(CALayer&) { return false; }
    virtual void drawLayerInContext(CALayer&, CGContextRef) {}
    virtual void layoutSublayersOfLayer(CALayer&) {}
};

// Every value that drawing reads. The model values of a layer are these; running animations
// may replace some of them while drawing (see CALayerAnimationHooks).
struct CALayerPresentation {
    CGRect bounds;
    CGPoint position;
    CGPoint anchorPoint{0.5, 0.5};
    CGFloat zPosition = 0;
    CATransform3D transform;
    float opacity = 1;
    bool hidden = false;
    CGColor backgroundColor;
    CGFloat cornerRadius = 0;
    CGFloat borderWidth = 0;
    CGColor borderColor{0, 0, 0, 1};
    CGColor shadowColor{0, 0, 0, 1};
    float shadowOpacity = 0;
    CGSize shadowOffset{0, -3};
    CGFloat shadowRadius = 3;
    CGRect contentsRect{{0, 0}, {1, 1}};
};

// The extension point for animations. The animation module installs one hooks object; the
// layer then tells it about every animation added or removed under a key and, on every draw,
// asks it to overlay animated values on the model values. The layer itself never interprets
// an animation. addAnimation/removeAnimationForKey are virtual so special layers can divert
// their animations (a map layer does) and still fall back to this path.
class CALayerAnimationHooks {
  public:
    virtual ~CALayerAnimationHooks() = default;
    virtual void didAddAnimation(CALayer&, const std::shared_ptr<CAAnimation>&,
                                 const std::string& /*key*/) {}
    virtual void didRemoveAnimation(CALayer&, const std::shared_ptr<CAAnimation>&,
                                    const std::string& /*key*/) {}
    // Replaces model values by the ones of the layer's running animations at media time t.
    virtual void applyPresentation(const CALayer&, CFTimeInterval /*t*/, CALayerPresentation&) {}
    // A model value of an animatable property ("position", "bounds", "transform", "opacity",
    // "backgroundColor") is about to change; block-based view animations record the old value.
    virtual void willChangeModelValue(CALayer&, const char* /*keyPath*/) {}
};

inline const std::string kCAGravityResize = "resize";
inline const std::string kCAGravityResizeAspect = "resizeAspect";
inline const std::string kCAGravityResizeAspectFill = "resizeAspectFill";
inline const std::string kCAGravityCenter = "center";
inline const std::string kCAGravityTop = "top";
inline const std::string kCAGravityBottom = "bottom";
inline const std::string kCAGravityLeft = "left";
inline const std::string kCAGravityRight = "right";
inline const std::string kCAGravityTopLeft = "topLeft";
inline const std::string kCAGravityTopRight = "topRight";
inline const std::string kCAGravityBottomLeft = "bottomLeft";
inline const std::string kCAGravityBottomRight = "bottomRight";

class CALayer : public NSObject {
  public:
    static std::shared_ptr<CALayer> layer();
    ~CALayer() override;

    // Geometry.
    CGRect bounds() const { return model_.bounds; }
    void setBounds(CGRect bounds);
    CGPoint position() const { return model_.position; }
    void setPosition(CGPoint position);
    CGPoint anchorPoint() const { return model_.anchorPoint; }
    void setAnchorPoint(CGPoint anchorPoint);
    CGFloat zPosition() const { return model_.zPosition; }
    void setZPosition(CGFloat z);
    const CATransform3D& transform() const { return model_.transform; }
    void setTransform(const CATransform3D& transform);
    CGAffineTransform affineTransform() const;
    void setAffineTransform(CGAffineTransform t);
    // The bounding box of the transformed bounds in the superlayer.
    CGRect frame() const;
    void setFrame(CGRect frame);

    // Appearance.
    float opacity() const { return model_.opacity; }
    void setOpacity(float opacity);
    bool isHidden() const { return model_.hidden; }
    void setHidden(bool hidden);
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks);
    CGColor backgroundColor() const { return model_.backgroundColor; }
    void setBackgroundColor(CGColor color);
    CGFloat cornerRadius() const { return model_.cornerRadius; }
    void setCornerRadius(CGFloat radius);
    CGFloat borderWidth() const { return model_.borderWidth; }
    void setBorderWidth(CGFloat width);
    CGColor borderColor() const { return model_.borderColor; }
    void setBorderColor(CGColor color);
    CGColor shadowColor() const { return model_.shadowColor; }
    void setShadowColor(CGColor color);
    float shadowOpacity() const { return model_.shadowOpacity; }
    void setShadowOpacity(float opacity);
    CGSize shadowOffset() const { return model_.shadowOffset; }
    void setShadowOffset(CGSize offset);
    CGFloat shadowRadius() const { return model_.shadowRadius; }
    void setShadowRadius(CGFloat radius);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

    // Contents.
    const CGImageRef& contents() const { return contents_; }
    void setContents(CGImageRef image);
    CGFloat contentsScale() const { return contentsScale_; }
    void setContentsScale(CGFloat scale);
    const std::string& contentsGravity() const { return contentsGravity_; }
    void setContentsGravity(std::string gravity);
    CGRect contentsRect() const { return model_.contentsRect; }
    void setContentsRect(CGRect r);
    // Unit rectangle of the contents that stretches; the rest keeps its size (nine-grid).
    CGRect contentsCenter() const { return contentsCenter_; }
    void setContentsCenter(CGRect r);
    const std::shared_ptr<CALayer>& mask() const { return mask_; }
    void setMask(std::shared_ptr<CALayer> mask);

    // Drawing: display() runs when needed before composition and fills contents through
    // drawInContext (the delegate by default), cached until setNeedsDisplay.
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
    void setNeedsDisplayOnBoundsChange(bool v) { needsDisplayOnBoundsChange_ = v; }
    void displayIfNeeded();
    virtual void display();
    virtual void drawInContext(CGContextRef ctx);
    std::shared_ptr<CALayerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<CALayerDelegate> delegate) { delegate_ = std::move(delegate); }

    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    void layoutIfNeeded();
    virtual void layoutSublayers();

    // Tree.
    const std::vector<std::shared_ptr<CALayer>>& sublayers() const { return sublayers_; }
    std::shared_ptr<CALayer> superlayer() const { return superlayer_.lock(); }
    void addSublayer(const std::shared_ptr<CALayer>& layer);
    void insertSublayer(const std::shared_ptr<CALayer>& layer, size_t index);
    void insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const CALayer* sibling);
    void insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const CALayer* sibling);
    void replaceSublayer(const CALayer* old, const std::shared_ptr<CALayer>& layer);
    void removeFromSuperlayer();

    // Coordinates; a null layer means the root of this layer's tree.
    CGPoint convertPointToLayer(CGPoint p, const CALayer* layer) const;
    CGPoint convertPointFromLayer(CGPoint p, const CALayer* layer) const;
    CGRect convertRectToLayer(CGRect r, const CALayer* layer) const;
    CGRect convertRectFromLayer(CGRect r, const CALayer* layer) const;
    // Maps this layer's coordinates to its superlayer's.
    CGAffineTransform transformToSuperlayer() const;
    CGAffineTransform transformToRoot() const;
    virtual bool containsPoint(CGPoint p) const;
    // p in the superlayer's coordinates.
    std::shared_ptr<CALayer> hitTest(CGPoint p);

    // Animations (see CALayerAnimationHooks).
    virtual void addAnimation(const std::shared_ptr<CAAnimation>& animation,
                              const std::string& key);
    virtual void removeAnimationForKey(const std::string& key);
    virtual void removeAllAnimations();
    std::shared_ptr<CAAnimation> animationForKey(const std::string& key) const;
    std::vector<std::string> animationKeys() const;
    // For the animation hooks: drops an animation that finished and is removed on completion,
    // without the removal path (no overrides, no didRemoveAnimation).
    void discardFinishedAnimation(const CAAnimation* animation, const std::string& key);
    static void setAnimationHooks(std::shared_ptr<CALayerAnimationHooks> hooks);
    static CALayerAnimationHooks* animationHooks();
    const CALayerPresentation& modelValues() const { return model_; }
    CALayerPresentation presentationValues(CFTimeInterval t) const;

    // Composition. renderInContext draws this layer in its own coordinates with its subtree,
    // as it is at media time t (now by default).
    void renderInContext(CGContextRef ctx);
    void renderInContext(CGContextRef ctx, CFTimeInterval t);

    // Counts every change that can alter a composed frame; hosts redraw when it moves.
    // Animation code that changes presentation values calls noteChanged() too.
    static uint64_t changeCount();
    static void noteChanged();

  protected:
    CALayer() = default;
    // A change of this layer that can alter a composed frame (calls noteChanged()).
    void changed();
    // Draws the subtree with this layer positioned in its superlayer's space.
    void renderAsSublayer(CGContextRef ctx, CFTimeInterval t);
    virtual void drawOwnContent(CGContextRef ctx, const CALayerPresentation& v);

  private:
    void drawContents(CGContextRef ctx, const CALayerPresentation& v) const;
    void drawShadow(CGContextRef ctx, const CALayerPresentation& v);
    void renderBody(CGContextRef ctx, const CALayerPresentation& v, CFTimeInterval t);
    // Where the layer and its sublayers can leave ink, in its own coordinates.
    CGRect drawnExtent(const CALayerPresentation& v, CFTimeInterval t) const;
    // The latest change of the layer, its sublayers and its mask; none while their picture can
    // change without one (a running animation, a display to come).
    std::optional<uint64_t> pictureStamp() const;
    void detach(const CALayer* child);
    bool canAdopt(const CALayer* layer) const;

    CALayerPresentation model_;
    bool masksToBounds_ = false;
    bool opaque_ = false;
    std::string name_;
    CGImageRef contents_;
    CGFloat contentsScale_ = 1;
    std::string contentsGravity_ = kCAGravityResize;
    CGRect contentsCenter_{{0, 0}, {1, 1}};
    std::shared_ptr<CALayer> mask_;
    bool needsDisplay_ = false;
    bool needsDisplayOnBoundsChange_ = false;
    bool needsLayout_ = false;
    std::weak_ptr<CALayerDelegate> delegate_;
    std::vector<std::shared_ptr<CALayer>> sublayers_;
    std::weak_ptr<CALayer> superlayer_;
    std::vector<std::pair<std::string, std::shared_ptr<CAAnimation>>> animations_;
    // The blurred shadow shape, kept while the layer's size and look stay the same.
    struct ShadowKey {
        CGSize size;
        CGFloat radius = 0;
        CGFloat cornerRadius = 0;
        bool fromContents = false;
        CGImageRef contents;
        CGFloat scale = 1;
        bool operator==(const ShadowKey&) const = default;
    };
    CGImageRef shadowMask_;
    ShadowKey shadowKey_;
    // The change count at this layer's last change.
    uint64_t version_ = 0;
    // What the layer drew as one picture (for its opacity or mask) the last time, composited
    // again while nothing in it has changed.
    CGTransparencyLayerPicture groupPicture_;
};

#include "CALayer.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "CoreGraphics/CGImageDrawing.h"
#include "CoreGraphics/CGPath.h"

namespace {
uint64_t gChangeCount = 0;
std::shared_ptr<CALayerAnimationHooks> gHooks;

void addRoundedRect(CGContextRef ctx, CGRect r, CGFloat radius) {
    CGContextBeginPath(ctx);
    if (radius <= 0) {
        CGContextAddRect(ctx, r);
        return;
    }
    CGContextAddPath(ctx, CGPathCreateWithRoundedRect(r, radius, radius, nullptr));
}
}  // namespace

std::shared_ptr<CALayer> CALayer::layer() { return std::shared_ptr<CALayer>(new CALayer()); }

CALayer::~CALayer() {
    for (auto& sub : sublayers_) sub->superlayer_.reset();
}

uint64_t CALayer::changeCount() { return gChangeCount; }

void CALayer::noteChanged() { ++gChangeCount; }

void CALayer::changed() { version_ = ++gChangeCount; }

void CALayer::setBounds(CGRect bounds) {
    if (gHooks) gHooks->willChangeModelValue(*this, "bounds");
    const bool resized = bounds.size != model_.bounds.size;
    model_.bounds = bounds;
    changed();
    if (resized) {
        if (needsDisplayOnBoundsChange_) setNeedsDisplay();
        setNeedsLayout();
    }
}
void CALayer::setPosition(CGPoint position) {
    if (gHooks) gHooks->willChangeModelValue(*this, "position");
    model_.position = position;
    changed();
}
void CALayer::setAnchorPoint(CGPoint anchorPoint) {
    model_.anchorPoint = anchorPoint;
    changed();
}
void CALayer::setZPosition(CGFloat z) {
    model_.zPosition = z;
    changed();
}
void CALayer::setTransform(const CATransform3D& transform) {
    if (gHooks) gHooks->willChangeModelValue(*this, "transform");
    model_.transform = transform;
    changed();
}
CGAffineTransform CALayer::affineTransform() const {
    return CATransform3DGetAffineTransform(model_.transform);
}
void CALayer::setAffineTransform(CGAffineTransform t) {
    setTransform(CATransform3DMakeAffineTransform(t));
}

CGRect CALayer::frame() const {
    return CGRectApplyAffineTransform(model_.bounds, transformToSuperlayer());
}

void CALayer::setFrame(CGRect frame) {
    frame = CGRectStandardize(frame);
    // The frame is derived: keep the transform, size the bounds so the transformed box fits.
    const CGAffineTransform t = affineTransform();
    CGSize size = frame.size;
    if (!CGAffineTransformIsIdentity(t)) {
        const CGSize unit = CGRectApplyAffineTransform(CGRectMake(0, 0, 1, 1), t).size;
        if (unit.width > 0 && unit.height > 0)
            size = {size.width / unit.width, size.height / unit.height};
    }
    CGRect b = model_.bounds;
    b.size = size;
    setBounds(b);
    setPosition({frame.origin.x + model_.anchorPoint.x * frame.size.width,
                 frame.origin.y + model_.anchorPoint.y * frame.size.height});
}

void CALayer::setOpacity(float opacity) {
    if (gHooks) gHooks->willChangeModelValue(*this, "opacity");
    model_.opacity = opacity;
    changed();
}
void CALayer::setHidden(bool hidden) {
    model_.hidden = hidden;
    changed();
}
void CALayer::setMasksToBounds(bool masks) {
    masksToBounds_ = masks;
    changed();
}
void CALayer::setBackgroundColor(CGColor color) {
    if (gHooks) gHooks->willChangeModelValue(*this, "backgroundColor");
    model_.backgroundColor = color;
    changed();
}
void CALayer::setCornerRadius(CGFloat radius) {
    model_.cornerRadius = radius;
    changed();
}
void CALayer::setBorderWidth(CGFloat width) {
    model_.borderWidth = width;
    changed();
}
void CALayer::setBorderColor(CGColor color) {
    model_.borderColor = color;
    changed();
}
void CALayer::setShadowColor(CGColor color) {
    model_.shadowColor = color;
    changed();
}
void CALayer::setShadowOpacity(float opacity) {
    model_.shadowOpacity = opacity;
    changed();
}
void CALayer::setShadowOffset(CGSize offset) {
    model_.shadowOffset = offset;
    changed();
}
void CALayer::setShadowRadius(CGFloat radius) {
    model_.shadowRadius = radius;
    changed();
}
void CALayer::setContents(CGImageRef image) {
    contents_ = std::move(image);
    changed();
}
void CALayer::setContentsScale(CGFloat scale) {
    if (scale <= 0 || scale == contentsScale_) return;
    contentsScale_ = scale;
    changed();
}
void CALayer::setContentsGravity(std::string gravity) {
    contentsGravity_ = std::move(gravity);
    changed();
}
void CALayer::setContentsRect(CGRect r) {
    model_.contentsRect = r;
    changed();
}
void CALayer::setContentsCenter(CGRect r) {
    contentsCenter_ = r;
    changed();
}
void CALayer::setMask(std::shared_ptr<CALayer> mask) {
    mask_ = std::move(mask);
    changed();
}

void CALayer::setNeedsDisplay() {
    needsDisplay_ = true;
    changed();
}

void CALayer::displayIfNeeded() {
    if (needsDisplay_) display();
}

void CALayer::display() {
    needsDisplay_ = false;
    if (auto d = delegate(); d && d->displayLayer(*this)) return;
    const CGSize size = model_.bounds.size;
    const int w = static_cast<int>(std::ceil(size.width * contentsScale_));
    const int h = static_cast<int>(std::ceil(size.height * contentsScale_));
    if (w <= 0 || h <= 0) {
        setContents(nullptr);
        return;
    }
    auto image = CGImage::create(w, h);
    if (!image) return;
    {
        CGContext ctx(*image, contentsScale_);
        CGContextTranslateCTM(&ctx, -model_.bounds.origin.x, -model_.bounds.origin.y);
        drawInContext(&ctx);
    }
    setContents(std::move(image));
}

void CALayer::drawInContext(CGContextRef ctx) {
    if (auto d = delegate()) d->drawLayerInContext(*this, ctx);
}

void CALayer::setNeedsLayout() { needsLayout_ = true; }

void CALayer::layoutIfNeeded() {
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSublayers();
    }
    const auto subs = sublayers_;
    for (const auto& s : subs) s->layoutIfNeeded();
}

void CALayer::layoutSublayers() {
    if (auto d = delegate()) d->layoutSublayersOfLayer(*this);
}

void CALayer::detach(const CALayer* child) {
    std::erase_if(sublayers_, [child](const auto& l) { return l.get() == child; });
}

void CALayer::removeFromSuperlayer() {
    auto parent = superlayer_.lock();
    if (!parent) return;
    auto self = sharedSelf<CALayer>();
    superlayer_.reset();
    parent->detach(this);
    parent->changed();
}

bool CALayer::canAdopt(const CALayer* layer) const {
    // This layer itself or one of its ancestors would close a loop of owners.
    for (const CALayer* l = this; l; l = l->superlayer_.lock().get())
        if (l == layer) return false;
    return layer != nullptr;
}

void CALayer::insertSublayer(const std::shared_ptr<CALayer>& layer, size_t index) {
    if (!canAdopt(layer.get())) return;
    auto keep = layer;
    layer->removeFromSuperlayer();
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + static_cast<ptrdiff_t>(index), layer);
    layer->superlayer_ = sharedSelf<CALayer>();
    changed();
}

void CALayer::addSublayer(const std::shared_ptr<CALayer>& layer) {
    if (!canAdopt(layer.get())) return;
    auto keep = layer;
    layer->removeFromSuperlayer();
    insertSublayer(layer, sublayers_.size());
}

namespace {
size_t indexOf(const std::vector<std::shared_ptr<CALayer>>& v, const CALayer* l, size_t fallback) {
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].get() == l) return i;
    }
    return fallback;
}
}  // namespace

void CALayer::insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const CALayer* sibling) {
    if (!canAdopt(layer.get())) return;
    auto keep = layer;
    layer->removeFromSuperlayer();
    insertSublayer(layer, indexOf(sublayers_, sibling, 0));
}

void CALayer::insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const CALayer* sibling) {
    if (!canAdopt(layer.get())) return;
    auto keep = layer;
    layer->removeFromSuperlayer();
    const size_t i = indexOf(sublayers_, sibling, sublayers_.size());
    insertSublayer(layer, i == sublayers_.size() ? i : i + 1);
}

void CALayer::replaceSublayer(const CALayer* old, const std::shared_ptr<CALayer>& layer) {
    const size_t i = indexOf(sublayers_, old, sublayers_.size());
    if (i == sublayers_.size() || !canAdopt(layer.get())) return;
    sublayers_[i]->removeFromSuperlayer();
    insertSublayer(layer, i);
}

CGAffineTransform CALayer::transformToSuperlayer() const {
    const CGRect& b = model_.bounds;
    const CGAffineTransform toAnchor =
        CGAffineTransformMakeTranslation(-b.origin.x - model_.anchorPoint.x * b.size.width,
                                         -b.origin.y - model_.anchorPoint.y * b.size.height);
    return CGAffineTransformConcat(
        CGAffineTransformConcat(toAnchor, affineTransform()),
        CGAffineTransformMakeTranslation(model_.position.x, model_.position.y));
}

CGAffineTransform CALayer::transformToRoot() const {
    CGAffineTransform t = CGAffineTransformIdentity;
    for (const CALayer* l = this; l; l = l->superlayer_.lock().get()) {
        if (!l->superlayer_.lock()) break;
        t = CGAffineTransformConcat(t, l->transformToSuperlayer());
    }
    return t;
}

CGPoint CALayer::convertPointToLayer(CGPoint p, const CALayer* layer) const {
    const CGPoint root = CGPointApplyAffineTransform(p, transformToRoot());
    if (!layer) return root;
    return CGPointApplyAffineTransform(root, CGAffineTransformInvert(layer->transformToRoot()));
}

CGPoint CALayer::convertPointFromLayer(CGPoint p, const CALayer* layer) const {
    const CGPoint root = layer ? CGPointApplyAffineTransform(p, layer->transformToRoot()) : p;
    return CGPointApplyAffineTransform(root, CGAffineTransformInvert(transformToRoot()));
}

CGRect CALayer::convertRectToLayer(CGRect r, const CALayer* layer) const {
    CGAffineTransform t = transformToRoot();
    if (layer) t = CGAffineTransformConcat(t, CGAffineTransformInvert(layer->transformToRoot()));
    return CGRectApplyAffineTransform(r, t);
}

CGRect CALayer::convertRectFromLayer(CGRect r, const CALayer* layer) const {
    CGAffineTransform t = layer ? layer->transformToRoot() : CGAffineTransformIdentity;
    t = CGAffineTransformConcat(t, CGAffineTransformInvert(transformToRoot()));
    return CGRectApplyAffineTransform(r, t);
}

bool CALayer::containsPoint(CGPoint p) const { return CGRectContainsPoint(model_.bounds, p); }

std::shared_ptr<CALayer> CALayer::hitTest(CGPoint p) {
    const CGAffineTransform t = affineTransform();
    // Scaled to nothing it has no area; the inverse of its transform would be meaningless.
    if (model_.hidden || t.a * t.d - t.b * t.c == 0) return nullptr;
    const CGPoint local =
        CGPointApplyAffineTransform(p, CGAffineTransformInvert(transformToSuperlayer()));
    const bool inside = containsPoint(local);
    if (masksToBounds_ && !inside) return nullptr;
    for (auto it = sublayers_.rbegin(); it != sublayers_.rend(); ++it) {
        if (auto hit = (*it)->hitTest(local)) return hit;
    }
    return inside ? sharedSelf<CALayer>() : nullptr;
}

void CALayer::addAnimation(const std::shared_ptr<CAAnimation>& animation, const std::string& key) {
    if (!animation) return;
    if (!key.empty()) removeAnimationForKey(key);
    animations_.emplace_back(key, animation);
    changed();
    if (gHooks) gHooks->didAddAnimation(*this, animation, key);
}

void CALayer::removeAnimationForKey(const std::string& key) {
    auto it = std::find_if(animations_.begin(), animations_.end(),
                           [&](const auto& e) { return e.first == key; });
    if (it == animations_.end()) return;
    auto removed = it->second;
    animations_.erase(it);
    changed();
    if (gHooks) gHooks->didRemoveAnimation(*this, removed, key);
}

void CALayer::removeAllAnimations() {
    while (!animations_.empty()) {
        auto [key, anim] = animations_.back();
        animations_.pop_back();
        if (gHooks) gHooks->didRemoveAnimation(*this, anim, key);
    }
    changed();
}

std::shared_ptr<CAAnimation> CALayer::animationForKey(const std::string& key) const {
    for (const auto& [k, a] : animations_) {
        if (k == key) return a;
    }
    return nullptr;
}

void CALayer::discardFinishedAnimation(const CAAnimation* animation, const std::string& key) {
    auto it = std::find_if(animations_.begin(), animations_.end(), [&](const auto& e) {
        return e.first == key && e.second.get() == animation;
    });
    if (it == animations_.end()) return;
    animations_.erase(it);
    changed();
}

std::vector<std::string> CALayer::animationKeys() const {
    std::vector<std::string> keys;
    for (const auto& e : animations_) keys.push_back(e.first);
    return keys;
}

void CALayer::setAnimationHooks(std::shared_ptr<CALayerAnimationHooks> hooks) {
    gHooks = std::move(hooks);
}
CALayerAnimationHooks* CALayer::animationHooks() { return gHooks.get(); }

CALayerPresentation CALayer::presentationValues(CFTimeInterval t) const {
    CALayerPresentation v = model_;
    if (gHooks && !animations_.empty()) gHooks->applyPresentation(*this, t, v);
    return v;
}

void CALayer::renderInContext(CGContextRef ctx) { renderInContext(ctx, Clock::now()); }

void CALayer::renderInContext(CGContextRef ctx, CFTimeInterval t) {
    layoutIfNeeded();
    CALayerPresentation v = presentationValues(t);
    CGContextSaveGState(ctx);
    renderBody(ctx, v, t);
    CGContextRestoreGState(ctx);
}

namespace {

CGAffineTransform toSuperlayer(const CALayerPresentation& v) {
    const CGRect& b = v.bounds;
    return CGAffineTransformConcat(
        CGAffineTransformConcat(
            CGAffineTransformMakeTranslation(-b.origin.x - v.anchorPoint.x * b.size.width,
                                             -b.origin.y - v.anchorPoint.y * b.size.height),
            CATransform3DGetAffineTransform(v.transform)),
        CGAffineTransformMakeTranslation(v.position.x, v.position.y));
}

}  // namespace

CGRect CALayer::drawnExtent(const CALayerPresentation& v, CFTimeInterval t) const {
    CGRect r = v.bounds;
    if (!masksToBounds_) {
        for (const auto& s : sublayers_) {
            const CALayerPresentation sv = s->presentationValues(t);
            if (sv.hidden || sv.opacity <= 0) continue;
            r = CGRectUnion(r, CGRectApplyAffineTransform(s->drawnExtent(sv, t), toSuperlayer(sv)));
        }
    }
    if (v.shadowOpacity > 0 && v.shadowColor.a > 0) {
        const CGFloat margin = std::ceil(std::max(0.0, v.shadowRadius) * 2) + 1;
        r = CGRectUnion(r, CGRectOffset(CGRectInset(v.bounds, -margin, -margin),
                                        v.shadowOffset.width, v.shadowOffset.height));
    }
    if (mask_) r = CGRectIntersection(r, mask_->frame());
    return r;
}

void CALayer::renderAsSublayer(CGContextRef ctx, CFTimeInterval t) {
    const CALayerPresentation v = presentationValues(t);
    if (v.hidden || v.opacity <= 0) return;
    const CGAffineTransform toSuper = toSuperlayer(v);
    CGContextSaveGState(ctx);
    CGContextConcatCTM(ctx, toSuper);
    renderBody(ctx, v, t);
    CGContextRestoreGState(ctx);
}

std::optional<uint64_t> CALayer::pictureStamp() const {
    if (!animations_.empty() || needsDisplay_) return std::nullopt;
    uint64_t latest = version_;
    for (const auto& s : sublayers_) {
        const auto stamp = s->pictureStamp();
        if (!stamp) return std::nullopt;
        latest = std::max(latest, *stamp);
    }
    if (mask_) {
        const auto stamp = mask_->pictureStamp();
        if (!stamp) return std::nullopt;
        latest = std::max(latest, *stamp);
    }
    return latest;
}

void CALayer::renderBody(CGContextRef ctx, const CALayerPresentation& v, CFTimeInterval t) {
    displayIfNeeded();
    // Opacity and masks apply to the layer and its subtree as one picture.
    const bool group = v.opacity < 1 || mask_;
    std::optional<uint64_t> stamp;
    if (group) {
        CGContextSaveGState(ctx);
        // The picture need be no larger than what the subtree can draw.
        CGContextClipToRect(ctx, CGRectIntegral(drawnExtent(v, t)));
        CGContextSetAlpha(ctx, ctx->state().alpha * v.opacity);
        stamp = pictureStamp();
        if (stamp && CGContextDrawTransparencyLayerPicture(ctx, groupPicture_, *stamp)) {
            CGContextRestoreGState(ctx);
            return;
        }
        CGContextBeginTransparencyLayer(ctx);
    }

    const CGRect& b = v.bounds;
    if (v.shadowOpacity > 0 && v.shadowColor.a > 0 && (!v.backgroundColor.isClear() || contents_)) {
        drawShadow(ctx, v);
    }

    CGContextSaveGState(ctx);
    if (masksToBounds_) {
        addRoundedRect(ctx, b, v.cornerRadius);
        CGContextClip(ctx);
    }
    if (!v.backgroundColor.isClear()) {
        addRoundedRect(ctx, b, v.cornerRadius);
        CGContextSetFillColorWithColor(ctx, v.backgroundColor);
        CGContextFillPath(ctx);
    }
    drawOwnContent(ctx, v);
    if (!sublayers_.empty()) {
        std::vector<CALayer*> order;
        order.reserve(sublayers_.size());
        for (const auto& s : sublayers_) order.push_back(s.get());
        std::stable_sort(order.begin(), order.end(), [](const CALayer* a, const CALayer* c) {
            return a->model_.zPosition < c->model_.zPosition;
        });
        for (CALayer* s : order) s->renderAsSublayer(ctx, t);
    }
    CGContextRestoreGState(ctx);

    if (v.borderWidth > 0 && v.borderColor.a > 0) {
        const CGFloat w = v.borderWidth;
        const CGRect inner = CGRectInset(b, w / 2, w / 2);
        if (!CGRectIsNull(inner)) {
            CGContextSaveGState(ctx);
            addRoundedRect(ctx, inner, std::max(0.0, v.cornerRadius - w / 2));
            CGContextSetLineWidth(ctx, w);
            CGContextSetStrokeColorWithColor(ctx, v.borderColor);
            CGContextStrokePath(ctx);
            CGContextRestoreGState(ctx);
        }
    }

    if (!group) return;
    std::function<void()> drawMask;
    if (mask_) drawMask = [&] { mask_->renderAsSublayer(ctx, t); };
    if (stamp) {
        CGContextEndTransparencyLayerKeeping(ctx, drawMask, groupPicture_, *stamp);
    } else {
        groupPicture_.clear();
        CGContextEndTransparencyLayerWithMask(ctx, drawMask);
    }
    CGContextRestoreGState(ctx);
}

void CALayer::drawShadow(CGContextRef ctx, const CALayerPresentation& v) {
    const CGRect& b = v.bounds;
    const CGFloat radius = std::max(0.0, v.shadowRadius);
    const CGFloat margin = std::ceil(radius * 2);
    const bool fromContents = v.backgroundColor.isClear();
    // The shape is made in the context's pixels where it only scales and moves, so that it is
    // laid on unresampled each frame; one pixel per point otherwise.
    const CGAffineTransform ctm = CGContextGetCTM(ctx);
    const CGFloat scale =
        ctm.b == 0 && ctm.c == 0 && ctm.a == ctm.d && ctm.a >= 1 && ctm.a <= 4 ? ctm.a : 1;
    const ShadowKey key{
        b.size, radius, v.cornerRadius, fromContents, fromContents ? contents_ : nullptr, scale};
    if (!shadowMask_ || !(shadowKey_ == key)) {
        // Made once per size and look.
        const int w = static_cast<int>(std::ceil((b.size.width + 2 * margin) * scale));
        const int h = static_cast<int>(std::ceil((b.size.height + 2 * margin) * scale));
        shadowMask_ = CGImageCreateBlurredMask(
            w, h, radius,
            [&](CGContextRef m) {
                CGContextTranslateCTM(m, margin - b.origin.x, margin - b.origin.y);
                if (fromContents) {
                    drawContents(m, v);
                    return;
                }
                addRoundedRect(m, b, v.cornerRadius);
                CGContextFillPath(m);
            },
            scale);
        shadowKey_ = key;
    }
    CGColor colour = v.shadowColor;
    colour.a *= v.shadowOpacity;
    CGContextFillThroughMask(
        ctx, shadowMask_,
        {b.origin.x - margin + v.shadowOffset.width, b.origin.y - margin + v.shadowOffset.height},
        colour, scale);
}

void CALayer::drawOwnContent(CGContextRef ctx, const CALayerPresentation& v) {
    drawContents(ctx, v);
}

void CALayer::drawContents(CGContextRef ctx, const CALayerPresentation& v) const {
    if (!contents_ || contents_->width() == 0 || contents_->height() == 0) return;
    const CGRect& b = v.bounds;
    const CGFloat iw = contents_->width() / contentsScale_;
    const CGFloat ih = contents_->height() / contentsScale_;
    CGRect dest = b;
    const std::string& g = contentsGravity_;
    if (g == kCAGravityResizeAspect || g == kCAGravityResizeAspectFill) {
        const CGFloat sx = b.size.width / iw, sy = b.size.height / ih;
        const CGFloat s = g == kCAGravityResizeAspect ? std::min(sx, sy) : std::max(sx, sy);
        dest.size = {iw * s, ih * s};
        dest.origin = {CGRectGetMidX(b) - dest.size.width / 2,
                       CGRectGetMidY(b) - dest.size.height / 2};
    } else if (g != kCAGravityResize) {
        dest.size = {iw, ih};
        CGFloat x = CGRectGetMidX(b) - iw / 2, y = CGRectGetMidY(b) - ih / 2;
        auto endsWith = [&g](std::string_view s) { return g.ends_with(s); };
        if (g == kCAGravityLeft || endsWith("Left")) x = b.origin.x;
        if (g == kCAGravityRight || endsWith("Right")) x = CGRectGetMaxX(b) - iw;
        if (g.starts_with("top")) y = b.origin.y;
        if (g.starts_with("bottom")) y = CGRectGetMaxY(b) - ih;
        dest.origin = {x, y};
    }
    if (contentsCenter_ != CGRect{{0, 0}, {1, 1}} && g == kCAGravityResize) {
        const CGFloat pw = contents_->width(), ph = contents_->height();
        const CGEdgeInsetsPx caps{contentsCenter_.origin.y * ph, contentsCenter_.origin.x * pw,
                                  (1 - CGRectGetMaxY(contentsCenter_)) * ph,
                                  (1 - CGRectGetMaxX(contentsCenter_)) * pw};
        CGPaintImageNineGrid(ctx, *contents_, dest, caps, 1 / contentsScale_);
        return;
    }
    // Contents shown pixel for pixel are laid on whole device pixels: moving views (pins while
    // the map turns) then take the compositor's plain copy instead of resampling, and stay sharp.
    const CGAffineTransform m = CGContextGetCTM(ctx);
    if (m.b == 0 && m.c == 0 && m.a > 0 && m.d > 0 &&
        std::abs(dest.size.width * m.a - contents_->width()) < 1e-9 &&
        std::abs(dest.size.height * m.d - contents_->height()) < 1e-9) {
        dest.origin.x = (std::round(dest.origin.x * m.a + m.tx) - m.tx) / m.a;
        dest.origin.y = (std::round(dest.origin.y * m.d + m.ty) - m.ty) / m.d;
    }
    CGPaintImage(ctx, *contents_, dest);
}

#include "UIView.h"

#include <algorithm>
#include <cmath>

#include "UIKit/UIGestureRecognizerBase.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"

std::shared_ptr<UIView> UIView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIView>(new UIView()), frame);
}

void UIView::initWithFrame(CGRect frame) {
    layer_ = makeLayer();
    layer_->setDelegate(std::static_pointer_cast<CALayerDelegate>(sharedSelf<UIView>()));
    layer_->setContentsScale(UIScreen::mainScreen()->scale());
    layer_->setNeedsDisplay();
    setFrame(frame);
}

UIView::~UIView() {
    for (auto& sub : subviews_) sub->superview_.reset();
}

void UIView::setFrame(CGRect frame) {
    verifyThread();
    const CGSize old = bounds().size;
    layer_->setFrame(frame);
    if (bounds().size != old) resizeSubviews(old);
}

void UIView::setBounds(CGRect b) {
    verifyThread();
    const CGSize old = bounds().size;
    layer_->setBounds(b);
    if (b.size != old) resizeSubviews(old);
}

void UIView::resizeSubviews(CGSize oldSize) {
    setNeedsLayout();
    if (contentMode_ == UIViewContentModeRedraw) setNeedsDisplay();
    if (!autoresizesSubviews_) return;
    const CGSize now = bounds().size;
    const auto subs = subviews_;
    for (const auto& s : subs) s->autoresize(oldSize, now);
}

namespace {
// Spreads delta over the flexible parts in proportion to their current sizes (evenly when
// they are all zero), as the platform does.
void distribute(CGFloat delta, bool flexA, CGFloat& a, bool flexB, CGFloat& b, bool flexC,
                CGFloat& c) {
    const int n = int(flexA) + int(flexB) + int(flexC);
    if (n == 0) return;
    const CGFloat total = (flexA ? a : 0) + (flexB ? b : 0) + (flexC ? c : 0);
    auto share = [&](bool flex, CGFloat v) {
        if (!flex) return 0.0;
        return total > 0 ? delta * v / total : delta / n;
    };
    const CGFloat da = share(flexA, a), db = share(flexB, b), dc = share(flexC, c);
    a += da;
    b += db;
    c += dc;
}
}  // namespace

void UIView::autoresize(CGSize oldSuper, CGSize newSuper) {
    const unsigned m = autoresizingMask_;
    if (m == UIViewAutoresizingNone) return;
    CGRect f = frame();
    CGFloat left = f.origin.x, width = f.size.width;
    CGFloat right = oldSuper.width - left - width;
    distribute(newSuper.width - oldSuper.width, m & UIViewAutoresizingFlexibleLeftMargin, left,
               m & UIViewAutoresizingFlexibleWidth, width,
               m & UIViewAutoresizingFlexibleRightMargin, right);
    CGFloat top = f.origin.y, height = f.size.height;
    CGFloat bottom = oldSuper.height - top - height;
    distribute(newSuper.height - oldSuper.height, m & UIViewAutoresizingFlexibleTopMargin, top,
               m & UIViewAutoresizingFlexibleHeight, height,
               m & UIViewAutoresizingFlexibleBottomMargin, bottom);
    setFrame(CGRectMake(left, top, std::max(0.0, width), std::max(0.0, height)));
}

void UIView::setHidden(bool hidden) {
    verifyThread();
    layer_->setHidden(hidden);
}

void UIView::setBackgroundColor(UIColorRef color) {
    backgroundColor_ = std::move(color);
    layer_->setBackgroundColor(CGColorOf(backgroundColor_));
}

void UIView::setContentMode(UIViewContentMode mode) {
    contentMode_ = mode;
    setNeedsDisplay();
}

const UIColorRef& UIView::tintColor() const {
    if (tintColor_) return tintColor_;
    if (auto s = superview()) return s->tintColor();
    static const UIColorRef fallback = UIColor::tintBlueColor();
    return fallback;
}

std::shared_ptr<UIWindow> UIView::window() const {
    for (auto v = std::const_pointer_cast<UIView>(sharedSelf<UIView>()); v; v = v->superview()) {
        if (auto w = std::dynamic_pointer_cast<UIWindow>(v)) return w;
    }
    return nullptr;
}

void UIView::moveToWindow(const std::shared_ptr<UIWindow>& oldWindow,
                          const std::shared_ptr<UIWindow>& newWindow) {
    if (oldWindow == newWindow) return;
    willMoveToWindow(newWindow);
    if (!newWindow && isFirstResponder()) resignFirstResponder();
    const auto subs = subviews_;
    for (const auto& s : subs) s->moveToWindow(oldWindow, newWindow);
    didMoveToWindow();
}

void UIView::detachSubview(const UIView* view) {
    std::erase_if(subviews_, [view](const auto& v) { return v.get() == view; });
}

void UIView::insertChecked(std::shared_ptr<UIView> view, size_t index) {
    if (!view || view.get() == this || isDescendantOfView(view.get())) return;
    // The view joins this tree, so it must be of this thread too.
    view->verifyThread();
    auto self = sharedSelf<UIView>();
    const auto oldSuper = view->superview();
    if (oldSuper.get() == this) {
        // Moving within the same parent: only the order changes.
        auto it = std::find(subviews_.begin(), subviews_.end(), view);
        const size_t from = static_cast<size_t>(it - subviews_.begin());
        subviews_.erase(it);
        if (index > from) --index;
        index = std::min(index, subviews_.size());
        subviews_.insert(subviews_.begin() + static_cast<ptrdiff_t>(index), view);
        placeSubviewLayer(index);
        return;
    }
    const auto oldWindow = view->window();
    const auto newWindow = window();
    view->willMoveToSuperview(self);
    if (oldSuper) {
        oldSuper->willRemoveSubview(view);
        oldSuper->detachSubview(view.get());
        view->layer_->removeFromSuperlayer();
    }
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<ptrdiff_t>(index), view);
    view->superview_ = self;
    placeSubviewLayer(index);
    view->moveToWindow(oldWindow, newWindow);
    view->didMoveToSuperview();
    didAddSubview(view);
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    verifyThread();
    insertChecked(view, subviews_.size());
}

void UIView::insertSubviewAtIndex(const std::shared_ptr<UIView>& view, size_t index) {
    verifyThread();
    insertChecked(view, index);
}

void UIView::insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const UIView* sibling) {
    verifyThread();
    auto it = std::find_if(subviews_.begin(), subviews_.end(),
                           [sibling](const auto& v) { return v.get() == sibling; });
    insertChecked(view, it == subviews_.end() ? subviews_.size()
                                              : static_cast<size_t>(it - subviews_.begin()) + 1);
}

void UIView::insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const UIView* sibling) {
    verifyThread();
    auto it = std::find_if(subviews_.begin(), subviews_.end(),
                           [sibling](const auto& v) { return v.get() == sibling; });
    insertChecked(view, it == subviews_.end() ? subviews_.size()
                                              : static_cast<size_t>(it - subviews_.begin()));
}

void UIView::removeFromSuperview() {
    verifyThread();
    auto parent = superview();
    if (!parent) return;
    auto self = sharedSelf<UIView>();
    const auto oldWindow = window();
    parent->willRemoveSubview(self);
    willMoveToSuperview(nullptr);
    parent->detachSubview(this);
    superview_.reset();
    layer_->removeFromSuperlayer();
    moveToWindow(oldWindow, nullptr);
    didMoveToSuperview();
}

void UIView::bringSubviewToFront(const UIView* view) {
    verifyThread();
    auto it = std::find_if(subviews_.begin(), subviews_.end(),
                           [view](const auto& v) { return v.get() == view; });
    if (it == subviews_.end()) return;
    insertChecked(*it, subviews_.size());
}

void UIView::sendSubviewToBack(const UIView* view) {
    verifyThread();
    auto it = std::find_if(subviews_.begin(), subviews_.end(),
                           [view](const auto& v) { return v.get() == view; });
    if (it == subviews_.end()) return;
    insertChecked(*it, 0);
}

void UIView::exchangeSubviewAtIndex(size_t a, size_t b) {
    verifyThread();
    if (a >= subviews_.size() || b >= subviews_.size() || a == b) return;
    std::swap(subviews_[a], subviews_[b]);
    // The upper one first: each is placed below the layer of the subview above it.
    placeSubviewLayer(std::max(a, b));
    placeSubviewLayer(std::min(a, b));
}

void UIView::placeSubviewLayer(size_t index) {
    // Layers added to this view's layer directly may sit among the subviews' layers: a
    // subview goes just below the next subview's layer, or on top of them all.
    const auto& layer = subviews_[index]->layer_;
    if (index + 1 < subviews_.size())
        layer_->insertSublayerBelow(layer, subviews_[index + 1]->layer_.get());
    else
        layer_->addSublayer(layer);
}

bool UIView::isDescendantOfView(const UIView* view) const {
    if (!view) return false;
    for (const UIView* v = this; v; v = v->superview_.lock().get()) {
        if (v == view) return true;
    }
    return false;
}

std::shared_ptr<UIView> UIView::viewWithTag(int tag) {
    if (tag_ == tag) return sharedSelf<UIView>();
    for (const auto& s : subviews_) {
        if (auto found = s->viewWithTag(tag)) return found;
    }
    return nullptr;
}

void UIView::setNeedsLayout() {
    verifyThread();
    layer_->setNeedsLayout();
}

void UIView::layoutIfNeeded() {
    verifyThread();
    layer_->layoutIfNeeded();
}

void UIView::layoutSublayersOfLayer(CALayer&) { layoutSubviews(); }

CGSize UIView::sizeThatFits(CGSize) const { return bounds().size; }

void UIView::sizeToFit() {
    const CGSize s = sizeThatFits(bounds().size);
    CGRect f = frame();
    f.size = s;
    setFrame(f);
}

void UIView::setNeedsDisplay() {
    drawsNothing_ = false;
    layer_->setNeedsDisplay();
}

void UIView::drawRect(CGRect) { drawsNothing_ = true; }

bool UIView::displayLayer(CALayer& layer) {
    if (drawsNothing_) return true;
    const CGRect b = bounds();
    const CGFloat scale = layer.contentsScale();
    const int w = static_cast<int>(std::ceil(b.size.width * scale));
    const int h = static_cast<int>(std::ceil(b.size.height * scale));
    if (w <= 0 || h <= 0) {
        layer.setContents(nullptr);
        return true;
    }
    auto image = CGImage::create(w, h);
    if (!image) return true;
    {
        CGContext ctx(*image, scale);
        CGContextTranslateCTM(&ctx, -b.origin.x, -b.origin.y);
        UIGraphicsPushContext(&ctx);
        drawRect(b);
        UIGraphicsPopContext();
    }
    // A view that does not draw keeps whatever contents its layer was given.
    if (drawsNothing_) return true;
    layer.setContents(std::move(image));
    return true;
}

bool UIView::pointInside(CGPoint point, UIEvent*) const {
    return CGRectContainsPoint(bounds(), point);
}

std::shared_ptr<UIView> UIView::hitTest(CGPoint point, UIEvent* event) {
    if (isHidden() || !userInteractionEnabled_ || alpha() < 0.01) return nullptr;
    if (!pointInside(point, event)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        const auto& sub = *it;
        // Scaled to nothing it has no area; the inverse of its transform would be meaningless.
        const CGAffineTransform t = sub->transform();
        if (t.a * t.d - t.b * t.c == 0) continue;
        const CGPoint p = sub->convertPointFromView(point, this);
        if (auto hit = sub->hitTest(p, event)) return hit;
    }
    return sharedSelf<UIView>();
}

namespace {
// A view's coordinates map to the window's through the layers; a view outside any window
// maps to its topmost ancestor, so conversions within a detached tree still agree.
const CALayer* targetLayer(const UIView* view) { return view ? view->layer().get() : nullptr; }
}  // namespace

CGPoint UIView::convertPointToView(CGPoint p, const UIView* view) const {
    return layer_->convertPointToLayer(p, targetLayer(view));
}
CGPoint UIView::convertPointFromView(CGPoint p, const UIView* view) const {
    return layer_->convertPointFromLayer(p, targetLayer(view));
}
CGRect UIView::convertRectToView(CGRect r, const UIView* view) const {
    return layer_->convertRectToLayer(r, targetLayer(view));
}
CGRect UIView::convertRectFromView(CGRect r, const UIView* view) const {
    return layer_->convertRectFromLayer(r, targetLayer(view));
}

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizerBase>& recognizer) {
    verifyThread();
    if (!recognizer) return;
    if (auto old = recognizer->view(); old && old.get() != this) {
        old->removeGestureRecognizer(recognizer.get());
    }
    if (std::find(recognizers_.begin(), recognizers_.end(), recognizer) != recognizers_.end())
        return;
    recognizers_.push_back(recognizer);
    recognizer->view_ = sharedSelf<UIView>();
    recognizer->didMoveToView();
}

void UIView::removeGestureRecognizer(const UIGestureRecognizerBase* recognizer) {
    verifyThread();
    auto it = std::find_if(recognizers_.begin(), recognizers_.end(),
                           [recognizer](const auto& r) { return r.get() == recognizer; });
    if (it == recognizers_.end()) return;
    auto keep = *it;
    recognizers_.erase(it);
    keep->view_.reset();
    keep->didMoveToView();
}

std::shared_ptr<UIResponder> UIView::nextResponder() const {
    if (auto c = controller_.lock()) return c;
    return superview();
}

bool UIView::becomeFirstResponder() {
    // Only views on screen take key input.
    if (!window()) return false;
    return UIResponder::becomeFirstResponder();
}

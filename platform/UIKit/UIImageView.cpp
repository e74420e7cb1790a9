#include "UIImageView.h"

std::shared_ptr<UIImageView> UIImageView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIImageView>(new UIImageView()), frame);
}

std::shared_ptr<UIImageView> UIImageView::createWithImage(UIImageRef image) {
    const CGSize s = image ? image->size() : CGSizeZero;
    auto v = create(CGRectMake(0, 0, s.width, s.height));
    v->setImage(std::move(image));
    return v;
}

void UIImageView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setUserInteractionEnabled(false);
}

void UIImageView::setImage(UIImageRef image) {
    image_ = std::move(image);
    updateContents();
}

void UIImageView::setHighlightedImage(UIImageRef image) {
    highlightedImage_ = std::move(image);
    updateContents();
}

void UIImageView::setHighlighted(bool h) {
    highlighted_ = h;
    updateContents();
}

void UIImageView::setContentMode(UIViewContentMode mode) {
    UIView::setContentMode(mode);
    updateContents();
}

CGSize UIImageView::sizeThatFits(CGSize) const { return image_ ? image_->size() : CGSizeZero; }

namespace {
const std::string& gravityFor(UIViewContentMode mode) {
    switch (mode) {
        case UIViewContentModeScaleAspectFit:
            return kCAGravityResizeAspect;
        case UIViewContentModeScaleAspectFill:
            return kCAGravityResizeAspectFill;
        case UIViewContentModeCenter:
            return kCAGravityCenter;
        case UIViewContentModeTop:
            return kCAGravityTop;
        case UIViewContentModeBottom:
            return kCAGravityBottom;
        case UIViewContentModeLeft:
            return kCAGravityLeft;
        case UIViewContentModeRight:
            return kCAGravityRight;
        case UIViewContentModeTopLeft:
            return kCAGravityTopLeft;
        case UIViewContentModeTopRight:
            return kCAGravityTopRight;
        case UIViewContentModeBottomLeft:
            return kCAGravityBottomLeft;
        case UIViewContentModeBottomRight:
            return kCAGravityBottomRight;
        default:
            return kCAGravityResize;
    }
}
}  // namespace

void UIImageView::updateContents() {
    const UIImageRef& shown = highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
    CALayer& l = *layer();
    if (!shown) {
        l.setContents(nullptr);
        return;
    }
    l.setContents(shown->CGImage());
    l.setContentsScale(shown->scale());
    l.setContentsGravity(gravityFor(contentMode()));
    CGRect centre{{0, 0}, {1, 1}};
    if (shown->isResizable()) {
        const UIEdgeInsets caps = shown->capInsets();
        const CGSize s = shown->size();
        if (s.width > 0 && s.height > 0) {
            centre = CGRectMake(caps.left / s.width, caps.top / s.height,
                                std::max(0.0, 1 - (caps.left + caps.right) / s.width),
                                std::max(0.0, 1 - (caps.top + caps.bottom) / s.height));
        }
    }
    l.setContentsCenter(centre);
}

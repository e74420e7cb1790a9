#pragma once

#include <memory>

#include "UIKit/UIColor.h"
#include "UIKit/UIImageView.h"
#include "VAvaCalloutBackgroundView.h"

// The default callout picture: a white rounded box with a faint outline and soft shadow, and an
// arrow under it (or over it) pointing at the annotation; grey while pressed.
class VAvaCalloutMaskedBackgroundView : public VAvaCalloutBackgroundView {
  public:
    static std::shared_ptr<VAvaCalloutMaskedBackgroundView> create(CGRect frame = CGRectZero);

    void setArrowPoint(CGPoint p) override;
    void setHighlighted(bool h) override;
    // A new layer on every call: the box's rounded outline and the arrow.
    std::shared_ptr<CALayer> contentMask() override;
    void layoutSubviews() override;

    // A picture of the same size filled with the colour where the given one has ink.
    static std::shared_ptr<UIImage> imageWithColor(const std::shared_ptr<UIImage>& image,
                                                   UIColorRef color);

    const std::shared_ptr<UIView>& containerView() const { return containerView_; }
    const std::shared_ptr<UIView>& containerBorderView() const { return containerBorderView_; }
    const std::shared_ptr<UIView>& arrowView() const { return arrowView_; }
    const std::shared_ptr<UIImageView>& arrowImageView() const { return arrowImageView_; }
    const std::shared_ptr<UIImageView>& arrowHighlightedImageView() const {
        return arrowHighlightedImageView_;
    }
    const std::shared_ptr<UIImageView>& arrowBorderView() const { return arrowBorderView_; }

  protected:
    VAvaCalloutMaskedBackgroundView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    std::shared_ptr<UIView> containerView_;
    std::shared_ptr<UIView> containerBorderView_;
    std::shared_ptr<UIView> arrowView_;
    std::shared_ptr<UIImageView> arrowImageView_;
    std::shared_ptr<UIImageView> arrowHighlightedImageView_;
    std::shared_ptr<UIImageView> arrowBorderView_;
};

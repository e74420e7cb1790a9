#pragma once

#include "UIKit/UIImage.h"
#include "UIKit/UIView.h"

// Shows an image through its layer's contents; the content mode picks the layer gravity and a
// resizable image stretches between its caps.
class UIImageView : public UIView {
  public:
    static std::shared_ptr<UIImageView> create(CGRect frame = CGRectZero);
    // Sized to the image.
    static std::shared_ptr<UIImageView> createWithImage(UIImageRef image);

    const UIImageRef& image() const { return image_; }
    void setImage(UIImageRef image);
    const UIImageRef& highlightedImage() const { return highlightedImage_; }
    void setHighlightedImage(UIImageRef image);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool h);
    void setContentMode(UIViewContentMode mode) override;
    CGSize sizeThatFits(CGSize size) const override;

  protected:
    UIImageView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void updateContents();
    UIImageRef image_;
    UIImageRef highlightedImage_;
    bool highlighted_ = false;
};

#pragma once

#include "UIKit/UIView.h"

enum UIActivityIndicatorViewStyle {
    UIActivityIndicatorViewStyleWhiteLarge = 0,
    UIActivityIndicatorViewStyleWhite = 1,
    UIActivityIndicatorViewStyleGray = 2,
};

// The spinner: twelve spokes fading round the circle; hidden when stopped unless told not to.
class UIActivityIndicatorView : public UIView {
  public:
    static std::shared_ptr<UIActivityIndicatorView> create(UIActivityIndicatorViewStyle style);

    UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
    void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle s);
    const UIColorRef& color() const { return color_; }
    void setColor(UIColorRef c);
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool h);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }

    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(CGRect rect) override;

  protected:
    UIActivityIndicatorView() = default;

  private:
    UIActivityIndicatorViewStyle style_ = UIActivityIndicatorViewStyleWhite;
    UIColorRef color_;
    bool hidesWhenStopped_ = true;
    bool animating_ = false;
};

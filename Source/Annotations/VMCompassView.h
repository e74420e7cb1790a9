#pragma once

#include <memory>

#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UITapGestureRecognizer.h"
#include "UIKit/UIView.h"

class VMCompassViewDelegate {
  public:
    virtual ~VMCompassViewDelegate() = default;
    virtual void didCompassViewTapped() {}
};

// The compass in the map's corner: a dark disc with ticks, a red arrow and the letter for north,
// all on one layer that turns against the map's rotation. An image of the application's may
// stand in for the drawing.
class VMCompassView : public UIView {
  public:
    static constexpr CGFloat kSide = 36;
    static std::shared_ptr<VMCompassView> compassViewWithDegree(float degree);

    float degree() const { return degree_; }
    void setDegree(float degree) { setDegree(degree, false, 0); }
    // A change below a millionth of a degree, or a degree that is not finite, changes nothing.
    void setDegree(float degree, bool animated, double duration);
    void updateOrigin(CGPoint origin);
    const std::shared_ptr<UIImage>& image() const { return image_; }
    void setImage(const std::shared_ptr<UIImage>& image);
    void onCompassTapped(UITapGestureRecognizer&);

    std::shared_ptr<VMCompassViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VMCompassViewDelegate> d) { delegate_ = std::move(d); }
    const std::shared_ptr<CALayer>& rotateLayer() const { return rotateLayer_; }

  protected:
    VMCompassView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void addDisc();
    void addTicks();
    void addArrow();
    void addLetter();

    float degree_ = 0;
    float scale_ = 22.5f;
    UIColorRef bgColor_;
    UIColorRef ticColor_;
    UIColorRef arrowColor_;
    std::string nString_ = "北";
    float fontSize_ = 11.0f;
    std::shared_ptr<CALayer> rotateLayer_;
    std::shared_ptr<CALayer> baseLayer_;
    std::shared_ptr<CALayer> imageLayer_;
    std::shared_ptr<UIImage> image_;
    std::weak_ptr<VMCompassViewDelegate> delegate_;
};

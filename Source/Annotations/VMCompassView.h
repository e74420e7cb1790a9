#pragma once

#include <memory>

#include "UIKit/UIView.h"

class VMCompassViewDelegate {
  public:
    virtual ~VMCompassViewDelegate() = default;
    virtual void didCompassViewTapped() {}
};

// The compass in the map's corner, turned to the map's rotation.
class VMCompassView : public UIView {
  public:
    static constexpr CGFloat kSide = 36;
    static std::shared_ptr<VMCompassView> compassViewWithDegree(double degree);

    double degree() const { return degree_; }
    std::shared_ptr<VMCompassViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VMCompassViewDelegate> d) { delegate_ = std::move(d); }

  protected:
    VMCompassView() = default;

  private:
    double degree_ = 0;
    std::weak_ptr<VMCompassViewDelegate> delegate_;
};

#pragma once

#include <memory>
#include <optional>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

// The phone's screen: 320x568 points at scale 2 unless a host or test says otherwise.
class UIScreen : public NSObject {
  public:
    static std::shared_ptr<UIScreen> mainScreen();

    CGRect bounds() const { return bounds_; }
    CGFloat scale() const { return scale_; }
    // The display mode's size in pixels: the bounds at the scale unless a test sets a panel.
    CGSize currentModeSize() const;
    void setCurrentModeSize(CGSize pixels) { modeSize_ = pixels; }
    // Where the status bar is not: the bounds less 20 points at the top.
    CGRect applicationFrame() const;
    void setBounds(CGRect bounds) { bounds_ = bounds; }
    void setScale(CGFloat scale) { scale_ = scale > 0 ? scale : 1; }
    // Back to 320x568 at scale 2 (tests that changed it).
    void reset();

  private:
    UIScreen() = default;
    CGRect bounds_{{0, 0}, {320, 568}};
    CGFloat scale_ = 2;
    std::optional<CGSize> modeSize_;
};

#pragma once

#include <memory>
#include <string>

#include "Foundation/NSTimer.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIView.h"

// The app's one message view: a short text shown over the screen that fades and goes by itself,
// leaving the screen under it usable. Type 1 is the toast on the window; type 2 shows inside
// the owner when the owner is a view (the modal pop-up), so that it stays above it.
class ShowAlertView : public UIView {
  public:
    static constexpr double kFadeDuration = 1.5;

    // Prepares the shared view with the text and returns it. A frame wider than 0 gives the
    // width the text wraps to (the view grows to the text's height); otherwise the window's
    // frame is taken.
    static std::shared_ptr<ShowAlertView> initializeAlertViewWithFrame(
        CGRect frame, const std::string& message, int customType, std::shared_ptr<NSObject> owner);
    // The frame every screen passes for its toasts: a third of the window wide.
    static CGRect toastFrame();

    // Puts the view on screen, centred, fading over kFadeDuration; a timer takes it down then.
    void addAlertView();

    std::string message() const { return label_->text(); }
    int customType() const { return customType_; }

  protected:
    ShowAlertView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    std::shared_ptr<UILabel> label_;
    std::weak_ptr<NSObject> owner_;
    int customType_ = 1;
    std::shared_ptr<NSTimer> timer_;
};

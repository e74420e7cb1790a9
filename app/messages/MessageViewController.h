#pragma once

#include <memory>

#include "UIKit/UIView.h"
#include "messages/MessageMiddleViewController.h"
#include "shell/LeftViewController.h"
#include "shell/SideSlipView.h"
#include "shell/TabContainerViewController.h"

// The messages tab: the message centre in the middle panel and the side menu in a panel three
// quarters of the width, off screen to the left until the bar's left item slides it in, with
// the list moving aside.
class MessageViewController : public TabContainerViewController {
  public:
    static constexpr CGFloat kLeftShare = 0.75;
    static constexpr double kSlideDuration = 0.4;

    static std::shared_ptr<MessageViewController> create();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void setupUIConfig();

    const std::shared_ptr<SideSlipView>& sideSlipView() const override { return leftView_; }
    const std::shared_ptr<SideSlipView>& midView() const { return midView_; }
    const std::shared_ptr<MessageMiddleViewController>& midVC() const { return midVC_; }
    const std::shared_ptr<SideSlipView>& leftView() const { return leftView_; }
    const std::shared_ptr<LeftViewController>& leftVC() const { return leftVC_; }

  protected:
    MessageViewController() : TabContainerViewController("MessageViewController", {}) {}
    // The panels are made once the view is laid out.
    void makeSideSlipView() override {}
    void slideSideSlipView(bool shown) override;

  private:
    std::shared_ptr<SideSlipView> midView_;
    std::shared_ptr<MessageMiddleViewController> midVC_;
    std::shared_ptr<SideSlipView> leftView_;
    std::shared_ptr<LeftViewController> leftVC_;
};

#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIView.h"

// The one navigation bar of the app (tag 98), under the status bar. Each screen sets it up and
// adds it to its own view when it appears.
class CustomNavBar : public UIView {
  public:
    static constexpr int kTag = 98;
    static constexpr CGFloat kHeight = 64;
    // The sender is the item's view: tag 0 for the left item, 1 for the right one.
    using Action = std::function<void(const std::shared_ptr<UIView>& sender)>;

    static std::shared_ptr<CustomNavBar> shareManager();

    // Rebuilds the bar's items and title; taps call the action while the target lives.
    void setupNavBarHaveLeft(bool haveLeft, const std::string& leftNormalImage,
                             const std::string& leftSelectImage, bool haveRight,
                             const std::string& rightNormalImage,
                             const std::string& rightSelectImage, std::weak_ptr<NSObject> target,
                             Action action, const std::string& title);

    // A screen's own item on the bar; it goes when the bar is set up again for any screen.
    void addItemView(const std::shared_ptr<UIView>& item);

    // Null when the item is not shown.
    const std::shared_ptr<UIButton>& leftButton() const { return left_; }
    const std::shared_ptr<UIButton>& rightButton() const { return right_; }
    const std::shared_ptr<UILabel>& titleLabel() const { return title_; }

  protected:
    CustomNavBar() = default;
    void initWithFrame(CGRect frame) override;

  private:
    std::shared_ptr<UIButton> makeItem(int tag, const std::string& normal,
                                       const std::string& selected, CGFloat x);

    std::shared_ptr<UILabel> title_;
    std::shared_ptr<UIButton> left_;
    std::shared_ptr<UIButton> right_;
    std::vector<std::shared_ptr<UIView>> items_;
    std::weak_ptr<NSObject> target_;
    Action action_;
};

#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIView.h"

class UIAlertView;

class UIAlertViewDelegate {
  public:
    virtual ~UIAlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(UIAlertView&, int) {}
    virtual void alertViewWillDismissWithButtonIndex(UIAlertView&, int) {}
    virtual void alertViewDidDismissWithButtonIndex(UIAlertView&, int) {}
};

// A modal message: shown over the key window as a dimmed backdrop with a centred box of
// title, message and buttons. A tap on a button reports its index and dismisses the alert.
// Buttons are indexed in order of addition, the cancel button (when given) first.
class UIAlertView : public UIView {
  public:
    static std::shared_ptr<UIAlertView> create(std::string title, std::string message,
                                               std::weak_ptr<UIAlertViewDelegate> delegate,
                                               const std::string& cancelButtonTitle,
                                               const std::vector<std::string>& otherButtonTitles);

    const std::string& title() const { return title_; }
    const std::string& message() const { return message_; }
    std::shared_ptr<UIAlertViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIAlertViewDelegate> d) { delegate_ = std::move(d); }
    // Called with the clicked index, after the delegate.
    void setHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }

    int addButtonWithTitle(const std::string& title);
    int numberOfButtons() const { return static_cast<int>(titles_.size()); }
    std::string buttonTitleAtIndex(int index) const;
    int cancelButtonIndex() const { return cancelIndex_; }
    int firstOtherButtonIndex() const;
    bool isVisible() const { return visible_; }

    void show();
    void dismissWithClickedButtonIndex(int index, bool animated);
    // The box on screen (for hosts and tests that want to tap a button).
    const std::vector<std::shared_ptr<UIButton>>& buttons() const { return buttons_; }
    const std::shared_ptr<UIView>& box() const { return box_; }

    void layoutSubviews() override;

  protected:
    UIAlertView() = default;

  private:
    void build();
    void clicked(int index);

    std::string title_;
    std::string message_;
    std::weak_ptr<UIAlertViewDelegate> delegate_;
    std::function<void(int)> handler_;
    std::vector<std::string> titles_;
    int cancelIndex_ = -1;
    bool visible_ = false;
    std::shared_ptr<UIView> box_;
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UILabel> messageLabel_;
    std::vector<std::shared_ptr<UIButton>> buttons_;
};

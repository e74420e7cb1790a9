#pragma once

#include <memory>
#include <vector>

#include "UIKit/UITabBarItem.h"
#include "UIKit/UIView.h"

class UITabBar;

class UITabBarDelegate {
  public:
    virtual ~UITabBarDelegate() = default;
    virtual void tabBarDidSelectItem(const std::shared_ptr<UITabBar>&,
                                     const std::shared_ptr<UITabBarItem>&) {}
};

// A 49-point bar of equal-width buttons, one per item; a tap selects the item and tells the
// delegate.
class UITabBar : public UIView {
  public:
    static std::shared_ptr<UITabBar> create(CGRect frame = CGRectZero);
    static constexpr CGFloat kHeight = 49;

    const std::vector<std::shared_ptr<UITabBarItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<UITabBarItem>> items);
    std::shared_ptr<UITabBarItem> selectedItem() const { return selected_; }
    void setSelectedItem(std::shared_ptr<UITabBarItem> item);
    std::shared_ptr<UITabBarDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UITabBarDelegate> delegate) { delegate_ = std::move(delegate); }
    const UIColorRef& barTintColor() const { return barTintColor_; }
    void setBarTintColor(UIColorRef color);

    // The button showing an item (for inspection and taps).
    std::shared_ptr<UIView> buttonForItem(const UITabBarItem* item) const;

    CGSize sizeThatFits(CGSize size) const override;
    void layoutSubviews() override;

  protected:
    UITabBar() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void itemTapped(const std::shared_ptr<UITabBarItem>& item);

    std::vector<std::shared_ptr<UITabBarItem>> items_;
    std::vector<std::shared_ptr<UIView>> buttons_;
    std::shared_ptr<UITabBarItem> selected_;
    std::weak_ptr<UITabBarDelegate> delegate_;
    UIColorRef barTintColor_;
};

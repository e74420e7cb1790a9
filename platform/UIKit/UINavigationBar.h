#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationItem.h"
#include "UIKit/UIView.h"

// The title text look of a bar (the font and foreground colour attributes).
struct NSTextAttributes {
    UIFontRef font;
    UIColorRef foregroundColor;
};

// A 44-point bar showing the top item of a stack of navigation items: its title (or title view)
// in the middle, its left item (or a back button titled after the item below) and right item.
class UINavigationBar : public UIView {
  public:
    static std::shared_ptr<UINavigationBar> create(CGRect frame = CGRectZero);
    static constexpr CGFloat kHeight = 44;
    static constexpr CGFloat kMargin = 8;

    const std::vector<std::shared_ptr<UINavigationItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<UINavigationItem>> items);
    void pushNavigationItem(std::shared_ptr<UINavigationItem> item);
    void popNavigationItem();
    std::shared_ptr<UINavigationItem> topItem() const;
    std::shared_ptr<UINavigationItem> backItem() const;

    const NSTextAttributes& titleTextAttributes() const { return titleAttributes_; }
    void setTitleTextAttributes(NSTextAttributes attributes);
    const UIColorRef& barTintColor() const { return barTintColor_; }
    void setBarTintColor(UIColorRef color);
    bool isTranslucent() const { return translucent_; }
    void setTranslucent(bool t) { translucent_ = t; }

    // What the back button does; the navigation controller pops.
    void setBackAction(std::function<void()> action) { backAction_ = std::move(action); }

    // The views showing the top item (for inspection; rebuilt when the item changes).
    const std::shared_ptr<UIView>& titleView() const { return shownTitle_; }
    const std::shared_ptr<UIView>& leftView() const { return shownLeft_; }
    const std::shared_ptr<UIView>& rightView() const { return shownRight_; }

    CGSize sizeThatFits(CGSize size) const override;
    void layoutSubviews() override;

  protected:
    UINavigationBar() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void refresh();
    std::shared_ptr<UIView> viewForItem(const std::shared_ptr<UIBarButtonItem>& item);
    std::shared_ptr<UIButton> makeButton(const std::string& title, UIColorRef color);

    std::vector<std::shared_ptr<UINavigationItem>> items_;
    NSTextAttributes titleAttributes_;
    UIColorRef barTintColor_;
    bool translucent_ = true;
    std::function<void()> backAction_;
    std::shared_ptr<UIView> shownTitle_;
    std::shared_ptr<UIView> shownLeft_;
    std::shared_ptr<UIView> shownRight_;
};

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIView.h"

// One tab of "TabBar.plist": the container's class name, its title and its two pictures.
struct TabItem {
    std::string name;
    std::string title;
    std::string image;
    std::string selectImage;
};

// The one tab bar of the app (tag 99), built from the bundle's "TabBar.plist". Each tab's root
// screen adds it to its own view when it appears. A tap selects that tab of the delegate's tab
// bar controller. The messages tab carries the unread badge.
class CustomTabBar : public UIView {
  public:
    static constexpr int kTag = 99;
    static constexpr CGFloat kHeight = 49;

    static std::shared_ptr<CustomTabBar> shareManager();
    // The tabs listed in the bundle; empty (and logged) when the list is missing or damaged.
    static std::vector<TabItem> tabsFromBundle();

    const std::vector<TabItem>& tabs() const { return tabs_; }
    // The tab showing the container of that class, or -1.
    int indexOfClass(const std::string& name) const;
    const std::vector<std::shared_ptr<UIButton>>& buttons() const { return buttons_; }
    // Marks the tab as the one shown.
    void setSelectedIndex(int index);
    int selectedIndex() const { return selected_; }
    // The badge on the messages tab; hidden until there is something unread.
    const std::shared_ptr<UILabel>& badge() const { return badge_; }

  protected:
    CustomTabBar() = default;
    void initWithFrame(CGRect frame) override;

  private:
    std::vector<TabItem> tabs_;
    std::vector<std::shared_ptr<UIButton>> buttons_;
    std::shared_ptr<UILabel> badge_;
    int selected_ = -1;
};

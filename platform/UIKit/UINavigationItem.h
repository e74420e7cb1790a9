#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Foundation/NSObject.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIView.h"

// What a navigation bar shows for one controller: a title or a title view, and bar buttons.
class UINavigationItem : public NSObject {
  public:
    static std::shared_ptr<UINavigationItem> create(std::string title = {});

    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    const std::shared_ptr<UIView>& titleView() const { return titleView_; }
    void setTitleView(std::shared_ptr<UIView> view);
    const std::shared_ptr<UIBarButtonItem>& leftBarButtonItem() const { return left_; }
    void setLeftBarButtonItem(std::shared_ptr<UIBarButtonItem> item);
    const std::shared_ptr<UIBarButtonItem>& rightBarButtonItem() const { return right_; }
    void setRightBarButtonItem(std::shared_ptr<UIBarButtonItem> item);
    bool hidesBackButton() const { return hidesBackButton_; }
    void setHidesBackButton(bool hides);

    // The bar showing the item refreshes through this.
    void setChangeHandler(std::function<void()> handler);

  private:
    UINavigationItem() = default;
    void changed() const {
        if (changed_) changed_();
    }
    std::string title_;
    std::shared_ptr<UIView> titleView_;
    std::shared_ptr<UIBarButtonItem> left_;
    std::shared_ptr<UIBarButtonItem> right_;
    bool hidesBackButton_ = false;
    std::function<void()> changed_;
};

#pragma once

#include <memory>
#include <string>

#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"
#include "shell/SideSlipView.h"
#include "shell/UIViewController+CustomVC.h"

// What a tab's list screen hears from its container.
class TabListScreen {
  public:
    virtual ~TabListScreen() = default;
    virtual void setIsShowLeftView(bool /*shown*/) {}
};

// The root screen of a tab: shows the shared bars, its list screen (made by class name with the
// container as its super class, when such a screen exists) and the side menu, which the bar's
// left item opens and closes. A tab whose screens do not exist yet is an empty container of its
// class name.
class TabContainerViewController : public UIViewController, public CustomVC {
  public:
    static std::shared_ptr<TabContainerViewController> create(std::string className);

    const std::string& className() const { return className_; }
    const std::shared_ptr<UIViewController>& listScreen() const { return list_; }
    // Set, the list screen is sent doRefresh when the container appears again.
    bool needRefreshLoad() const { return needRefresh_; }
    void setNeedRefreshLoad(bool need) { needRefresh_ = need; }
    bool isShowLeftView() const { return showLeft_; }
    // Null until the menu is first opened.
    const std::shared_ptr<SideSlipView>& sideSlipView() const { return side_; }

    // The bar's left item (tag 0) opens or closes the side menu; a right item (tag 1) is the
    // container's own.
    void navBarButtonClick(const std::shared_ptr<UIView>& sender);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

  protected:
    // The images of the bar's right item; none when empty.
    virtual std::string rightItemImage() const { return {}; }
    virtual std::string rightItemSelectedImage() const { return rightItemImage(); }
    virtual void rightItemClick() {}

    TabContainerViewController(std::string className, std::string listClassName)
        : className_(std::move(className)), listClassName_(std::move(listClassName)) {}

  private:
    void setShowLeftView(bool shown);

    const std::string className_;
    const std::string listClassName_;
    std::shared_ptr<UIViewController> list_;
    std::shared_ptr<SideSlipView> side_;
    bool needRefresh_ = false;
    bool showLeft_ = false;
};

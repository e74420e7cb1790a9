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
// left item opens and closes. While the menu is open a dark shade covers the rest of the tab and
// takes every touch there: a touch that ends on it closes the menu. A tab whose screens do not
// exist yet is an empty container of its class name.
class TabContainerViewController : public UIViewController, public CustomVC {
  public:
    static constexpr int kShadowTag = 90;

    static std::shared_ptr<TabContainerViewController> create(std::string className);

    const std::string& className() const { return className_; }
    const std::shared_ptr<UIViewController>& listScreen() const { return list_; }
    // Set, the list screen is sent doRefresh when the container appears again.
    bool needRefreshLoad() const { return needRefresh_; }
    void setNeedRefreshLoad(bool need) { needRefresh_ = need; }
    bool isShowLeftView() const { return showLeft_; }
    // The panel of the side menu; null until the tab has made it.
    virtual const std::shared_ptr<SideSlipView>& sideSlipView() const { return side_; }
    // Null until the menu is first opened.
    const std::shared_ptr<UIView>& shadowView() const { return shadowView_; }

    // The bar's left item (tag 0) opens or closes the side menu; a right item (tag 1) is the
    // container's own.
    void navBarButtonClick(const std::shared_ptr<UIView>& sender);
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

  protected:
    // Makes the menu's panel when there is none yet; the panel stays null while the tab cannot
    // show the menu.
    virtual void makeSideSlipView();
    // Brings the menu's panel in or out; the base shows it in place, over the list.
    virtual void slideSideSlipView(bool shown);
    // The shade and the menu over whatever the tab's screens laid on top since, such as the bars
    // added anew when the tab appears.
    void keepMenuOnTop();

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
    std::shared_ptr<UIView> shadowView_;
    bool needRefresh_ = false;
    bool showLeft_ = false;
};

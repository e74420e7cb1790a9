#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIResponder.h"
#include "UIKit/UIView.h"

class UINavigationController;
class UINavigationItem;
class UITabBarController;
class UITabBarItem;

using UIRectEdge = unsigned;
inline constexpr UIRectEdge UIRectEdgeNone = 0;
inline constexpr UIRectEdge UIRectEdgeTop = 1 << 0;
inline constexpr UIRectEdge UIRectEdgeLeft = 1 << 1;
inline constexpr UIRectEdge UIRectEdgeBottom = 1 << 2;
inline constexpr UIRectEdge UIRectEdgeRight = 1 << 3;
inline constexpr UIRectEdge UIRectEdgeAll = 0xf;

// Owns a view, made on first use (loadView, then viewDidLoad), and hears when it comes and goes
// (viewWillAppear... viewDidDisappear). Those calls come from the containers, the window whose
// root it is and presentation; each transition reaches the controller once and is passed on to
// the children that show their views (appearanceChildren()).
class UIViewController : public UIResponder {
  public:
    static std::shared_ptr<UIViewController> create();
    ~UIViewController() override;

    // Loads the view when there is none yet.
    const std::shared_ptr<UIView>& view();
    void setView(std::shared_ptr<UIView> view);
    bool isViewLoaded() const { return view_ != nullptr; }
    void loadViewIfNeeded() { view(); }

    // Overridable steps of the life.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    virtual void didReceiveMemoryWarning() {}

    // Runs viewWill(Dis)Appear and later viewDid(Dis)Appear, on this controller and on its
    // children that show; a transition that would repeat the current state is skipped.
    void beginAppearanceTransition(bool isAppearing, bool animated);
    void endAppearanceTransition();
    bool isAppeared() const { return appearance_ == Appearance::Appeared; }

    const std::string& title() const { return title_; }
    virtual void setTitle(std::string title);
    const std::shared_ptr<UINavigationItem>& navigationItem();
    const std::shared_ptr<UITabBarItem>& tabBarItem();
    void setTabBarItem(std::shared_ptr<UITabBarItem> item);

    // Containment.
    std::shared_ptr<UIViewController> parentViewController() const { return parent_.lock(); }
    const std::vector<std::shared_ptr<UIViewController>>& childViewControllers() const {
        return children_;
    }
    // Calls willMoveToParentViewController on the child; the caller adds its view and calls
    // didMoveToParentViewController.
    void addChildViewController(const std::shared_ptr<UIViewController>& child);
    // Calls didMoveToParentViewController(null); the caller called willMove... before.
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(const std::shared_ptr<UIViewController>&) {}
    virtual void didMoveToParentViewController(const std::shared_ptr<UIViewController>&) {}
    // The nearest ancestor of each kind.
    std::shared_ptr<UINavigationController> navigationController() const;
    std::shared_ptr<UITabBarController> tabBarController() const;

    // Modal presentation: the presented view covers the window of the presenting one. The
    // presenter is the outermost container of this controller.
    void presentViewController(const std::shared_ptr<UIViewController>& controller, bool animated,
                               std::function<void()> completion = {});
    // On the presenter, or on the presented controller (which asks its presenter).
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion = {});
    std::shared_ptr<UIViewController> presentedViewController() const { return presented_; }
    std::shared_ptr<UIViewController> presentingViewController() const {
        return presenting_.lock();
    }

    UIRectEdge edgesForExtendedLayout() const { return edges_; }
    void setEdgesForExtendedLayout(UIRectEdge edges) { edges_ = edges; }
    bool hidesBottomBarWhenPushed() const { return hidesBottomBar_; }
    void setHidesBottomBarWhenPushed(bool h) { hidesBottomBar_ = h; }

    // After the view comes its superview.
    std::shared_ptr<UIResponder> nextResponder() const override;

  protected:
    UIViewController() = default;
    // The children whose appearance follows this controller's: by default those whose views are
    // loaded and inside this controller's view. Containers name the child they show.
    virtual std::vector<std::shared_ptr<UIViewController>> appearanceChildren() const;
    // Appearing or appeared: containers then pass transitions of their children on.
    bool isShowing() const {
        return appearance_ == Appearance::Appearing || appearance_ == Appearance::Appeared;
    }

  private:
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    std::shared_ptr<UIViewController> outermost();

    std::shared_ptr<UIView> view_;
    std::string title_;
    std::shared_ptr<UINavigationItem> navigationItem_;
    std::shared_ptr<UITabBarItem> tabBarItem_;
    std::weak_ptr<UIViewController> parent_;
    std::vector<std::shared_ptr<UIViewController>> children_;
    std::shared_ptr<UIViewController> presented_;
    std::weak_ptr<UIViewController> presenting_;
    Appearance appearance_ = Appearance::Disappeared;
    bool appearanceAnimated_ = false;
    // The children told in beginAppearanceTransition, told again at its end.
    std::vector<std::weak_ptr<UIViewController>> transitionChildren_;
    UIRectEdge edges_ = UIRectEdgeAll;
    bool hidesBottomBar_ = false;
};

#pragma once

#include <memory>
#include <nlohmann/json.hpp>

#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "shell/UIViewController+CustomVC.h"

// The platform's notice as a web page under the bar with a back item; each appearance asks for
// it again. A right swipe goes back.
class PublicNewsViewController : public UIViewController,
                                 public CustomVC,
                                 public UIWebViewDelegate {
  public:
    static std::shared_ptr<PublicNewsViewController> create();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void setupUIConfig();
    void creatSwipeGesture(unsigned direction);
    void navBarButtonClick(const std::shared_ptr<UIView>& sender);
    void backButtonClick();
    void swipAction(UISwipeGestureRecognizer& recognizer);
    // Each notice of "List" is loaded in turn: the last one stays on screen.
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;

    void webViewDidStartLoad(UIWebView&) override;
    void webViewDidFinishLoad(UIWebView&) override;
    void webViewDidFailLoadWithError(UIWebView&, const NSError& error) override;

    const std::shared_ptr<UIWebView>& webView() const { return webView_; }

  protected:
    PublicNewsViewController() = default;

  private:
    std::shared_ptr<UIWebView> webView_;
};

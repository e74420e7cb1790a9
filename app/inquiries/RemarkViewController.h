#pragma once

#include <functional>
#include <memory>
#include <string>

#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIViewController.h"
#include "shell/UIViewController+CustomVC.h"

// A page of text: a remark the engineer edits and confirms with the bar's right item, which hands
// it to the block; or, in notice mode, the platform's notice loaded from the service. Leaving by
// the back item or a right swipe hands nothing back.
class RemarkViewController : public UIViewController, public CustomVC {
  public:
    using Block = std::function<void(const std::string& text)>;

    static std::shared_ptr<RemarkViewController> create(std::string content, bool isNew);

    void setBlock(Block block) { block_ = std::move(block); }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void setupUIConfig();
    void updateDataWithDictionary(const nlohmann::json& reply) override;
    // Takes nothing: the page's text is what the engineer types.
    void updateDataSourceWithStr(const std::string& str);
    void navBarButtonClick(const std::shared_ptr<UIView>& sender);
    void backButtonClick();
    // Adds to the view a swipe of the direction; a right one goes back.
    void creatSwipeGesture(unsigned direction);
    void swipAction(UISwipeGestureRecognizer& gesture);

    const std::shared_ptr<UITextView>& contentTextView() const { return contentTextView_; }
    const std::string& noticeTitle() const { return noticeTitle_; }

  protected:
    RemarkViewController(std::string content, bool isNew)
        : isNews_(isNew), contentStr_(std::move(content)) {}

  private:
    const bool isNews_;
    const std::string contentStr_;
    std::string noticeTitle_;
    std::shared_ptr<UITextView> contentTextView_;
    Block block_;
};

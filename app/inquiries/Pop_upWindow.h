#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "UIKit/UIButton.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"

// The app's one modal input pop-up: a dimmed cover over the whole screen with a small card in
// its middle that asks, by type, for a quotation amount (1), a confirmation (2), a compensation
// amount with its reason (3) or a yes-or-no answer (4). It is used once: it answers through its
// block, then takes itself off the screen at once; the cross closes it without an answer.
//
// Callers create it with the screen's view frame, set the block, add it to the navigation
// controller's view and show it; the superview keeps it alive until it removes itself.
class Pop_upWindow : public UIView {
  public:
    // (first, second, confirmed), by type and button:
    //   1 "确定": askPriceID, amount, true    2 "确定": nullopt, nullopt, true
    //   3 "确定": amount, reason ("" when empty), true
    //   4 "确定": askPriceID, nullopt, true   4 "取消": askPriceID, nullopt, false
    using ReturnContent =
        std::function<void(const std::optional<std::string>& first,
                           const std::optional<std::string>& second, bool confirmed)>;

    // Types 1, 2 and 4: watermark is the amount field's placeholder (1) or the line shown (2, 4).
    static std::shared_ptr<Pop_upWindow> create(CGRect frame, int64_t Type,
                                                std::optional<std::string> ASKID,
                                                std::optional<std::string> watermark,
                                                std::shared_ptr<UIViewController> Class);
    // Type 3: the labels and placeholders of the amount and the reason field.
    static std::shared_ptr<Pop_upWindow> create(CGRect frame, int64_t Type,
                                                std::optional<std::string> ASKID,
                                                std::optional<std::string> name_one,
                                                std::optional<std::string> name_two,
                                                std::optional<std::string> watermark_one,
                                                std::optional<std::string> watermark_two,
                                                std::shared_ptr<UIViewController> Class);

    // Build the cover and the card of the pop-up's type, once: the single-field initialiser
    // calls the first for types 1, 2 and 4, the two-field one the second for type 3.
    void setupUIConfigWithClass(const std::shared_ptr<UIViewController>& Class);
    void setupUIConfigWithClass(const std::shared_ptr<UIViewController>& Class, int64_t Type);

    void getAttribute(ReturnContent block) { returnContent_ = std::move(block); }
    // Covers the key window and plays the card's opening bounce. A pop-up of a type its
    // initialiser does not serve has no card: it takes itself off instead of covering the
    // screen invisibly.
    void showSubStationMainView();
    // The key window's bounds, turned when the status bar is landscape.
    void setCoverFrameByOrientation();

    void sureBtnClick();
    void cancelBtnClick();
    void forkBtnClick();

    // A touch that ends on the cover or the card, not on a control, puts the keyboard away.
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

    const std::optional<std::string>& titleOne() const { return titleOne_; }
    const std::optional<std::string>& titleTwo() const { return titleTwo_; }
    const std::optional<std::string>& waterMark() const { return waterMark_; }
    const std::optional<std::string>& waterMark_two() const { return waterMark_two_; }
    const std::optional<std::string>& askPriceID() const { return askPriceID_; }
    const std::shared_ptr<UIViewController>& superClass() const { return superClass_; }
    const std::shared_ptr<UIButton>& forkBtn() const { return forkBtn_; }
    const std::shared_ptr<UIView>& subStationIdMainView() const { return subStationIdMainView_; }
    const std::shared_ptr<UITextField>& contentTF() const { return contentTF_; }
    const std::shared_ptr<UITextField>& contentTF_two() const { return contentTF_two_; }
    const std::shared_ptr<UIButton>& sureBtn() const { return sureBtn_; }
    const std::shared_ptr<UIButton>& cancelBtn() const { return cancelBtn_; }

  protected:
    Pop_upWindow() = default;

  private:
    static std::shared_ptr<Pop_upWindow> make(CGRect frame, int64_t type,
                                              std::optional<std::string> askID,
                                              std::shared_ptr<UIViewController> owner);
    void addContent(CGFloat width);
    std::shared_ptr<UIButton> addButton(CGRect frame, const std::string& title,
                                        void (Pop_upWindow::*action)());
    void onTap(const std::shared_ptr<UIButton>& button, void (Pop_upWindow::*action)());
    void answer(std::optional<std::string> first, std::optional<std::string> second,
                bool confirmed);
    void showMessage(const std::string& message);

    ReturnContent returnContent_;
    int64_t myType_ = 0;
    std::optional<std::string> titleOne_;
    std::optional<std::string> titleTwo_;
    std::optional<std::string> waterMark_;
    std::optional<std::string> waterMark_two_;
    std::optional<std::string> askPriceID_;
    std::shared_ptr<UIViewController> superClass_;
    std::shared_ptr<UIButton> forkBtn_;
    std::shared_ptr<UIView> subStationIdMainView_;
    std::shared_ptr<UITextField> contentTF_;
    std::shared_ptr<UITextField> contentTF_two_;
    std::shared_ptr<UIButton> sureBtn_;
    std::shared_ptr<UIButton> cancelBtn_;
};

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "orders/OrderModel.h"

// One order as a white card: customer, state badge and date, goods, travel costs and city beside
// their icons, the amount, and along the bottom the buttons of the order's state. The card does
// not act itself: its buttons send the list's actions with the row as their tag.
class OrderCell : public UITableViewCell {
  public:
    using Action = std::function<void(const std::shared_ptr<UIButton>& sender)>;

    static std::shared_ptr<OrderCell> create(UITableViewCellStyle style,
                                             std::string reuseIdentifier);

    // Builds the card once for a row of the frame's size. Action_1 is the "确认取消" button's,
    // Action_2 the main action button's; both reach the target while it lives.
    void setupCellWithFrame(CGRect frame, std::weak_ptr<NSObject> target, Action Action_1,
                            Action Action_2);
    // Lays the card out for a row of the frame's size; a title width of 0 keeps the title and
    // badge where they are.
    void updateUIConfigWith(CGRect frame, int64_t titleWidth);
    // A null record blanks the texts and leaves the buttons as they were.
    void updateContentWithModel(const OrderModel* model, int64_t pIndex);

    int64_t currentIndexRow() const { return currentIndexRow_; }
    CGRect superFrame() const { return superFrame_; }
    CGRect contentFrame() const { return contentFrame_; }
    const std::shared_ptr<UIView>& pannelView() const { return pannelView_; }
    const std::shared_ptr<UILabel>& titelLabel() const { return titelLabel_; }
    const std::shared_ptr<UILabel>& signLabel() const { return signLabel_; }
    const std::shared_ptr<UILabel>& subTitleLabel() const { return subTitleLabel_; }
    const std::shared_ptr<UITextField>& leftTF() const { return leftTF_; }
    const std::shared_ptr<UITextField>& midTF() const { return midTF_; }
    const std::shared_ptr<UILabel>& offerLabel() const { return offerLabel_; }
    const std::shared_ptr<UILabel>& timeLabel() const { return timeLabel_; }
    const std::shared_ptr<UIButton>& favrateButton() const { return favrateButton_; }
    const std::shared_ptr<UIButton>& offerButton() const { return offerButton_; }

  protected:
    OrderCell(UITableViewCellStyle style, std::string reuseIdentifier)
        : UITableViewCell(style, std::move(reuseIdentifier)) {}
    void initWithFrame(CGRect frame) override;

  private:
    void moveButtonsToBottom();

    int64_t currentIndexRow_ = -1;
    std::shared_ptr<UIView> pannelView_;
    std::shared_ptr<UILabel> titelLabel_;
    std::shared_ptr<UILabel> signLabel_;
    std::shared_ptr<UILabel> subTitleLabel_;
    std::shared_ptr<UITextField> leftTF_;
    std::shared_ptr<UITextField> midTF_;
    std::shared_ptr<UILabel> offerLabel_;
    std::shared_ptr<UILabel> timeLabel_;
    std::shared_ptr<UIButton> favrateButton_;
    std::shared_ptr<UIButton> offerButton_;
    CGRect superFrame_{};
    CGRect contentFrame_{};
};

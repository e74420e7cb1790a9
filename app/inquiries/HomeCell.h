#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "inquiries/HomeModel.h"

// One open inquiry as a white card: customer and date, product, travel costs, city and days left
// beside their icons, the lowest quotation, and the quote and favourite buttons along the bottom.
// The views are built once; updates only change texts and the buttons' tags (the row).
class HomeCell : public UITableViewCell {
  public:
    using Action = std::function<void(const std::shared_ptr<UIButton>& sender)>;

    static std::shared_ptr<HomeCell> create(UITableViewCellStyle style,
                                            std::string reuseIdentifier);

    // Builds the card for a row of the frame's size; the buttons answer through the target
    // while it lives.
    void setupCellWithFrame(CGRect frame, std::weak_ptr<NSObject> target, Action Action_1,
                            Action Action_2);
    // A null record blanks the texts and keeps the favourite button's title.
    void updateContentWithModel(const HomeModel* model, int64_t pIndex);

    int64_t currentIndexRow() const { return currentIndexRow_; }
    CGRect contentFrame() const { return contentFrame_; }
    const std::shared_ptr<UIView>& pannelView() const { return pannelView_; }
    const std::shared_ptr<UILabel>& titelLabel() const { return titelLabel_; }
    const std::shared_ptr<UILabel>& subTitleLabel() const { return subTitleLabel_; }
    const std::shared_ptr<UITextField>& leftTF() const { return leftTF_; }
    const std::shared_ptr<UITextField>& midTF() const { return midTF_; }
    const std::shared_ptr<UITextField>& rightTF() const { return rightTF_; }
    const std::shared_ptr<UILabel>& offerLabel() const { return offerLabel_; }
    const std::shared_ptr<UILabel>& timeLabel() const { return timeLabel_; }
    const std::shared_ptr<UIButton>& favrateButton() const { return favrateButton_; }
    const std::shared_ptr<UIButton>& offerButton() const { return offerButton_; }

    void layoutSubviews() override;

  protected:
    HomeCell(UITableViewCellStyle style, std::string reuseIdentifier)
        : UITableViewCell(style, std::move(reuseIdentifier)) {}
    void initWithFrame(CGRect frame) override;
    // Places the card and everything on it for a card of that size.
    virtual void layoutCard(CGFloat cw, CGFloat ch);

  private:
    int64_t currentIndexRow_ = -1;
    std::shared_ptr<UIView> pannelView_;
    std::shared_ptr<UILabel> titelLabel_;
    std::shared_ptr<UILabel> subTitleLabel_;
    std::shared_ptr<UITextField> leftTF_;
    std::shared_ptr<UITextField> midTF_;
    std::shared_ptr<UITextField> rightTF_;
    std::shared_ptr<UILabel> caption_;
    std::shared_ptr<UILabel> offerLabel_;
    std::shared_ptr<UILabel> timeLabel_;
    std::shared_ptr<UIButton> favrateButton_;
    std::shared_ptr<UIButton> offerButton_;
    CGRect contentFrame_{};
};

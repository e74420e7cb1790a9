#pragma once

#include <memory>
#include <string>

#include "UIKit/UILabel.h"
#include "inquiries/HomeInfoCell.h"

// A row of the order detail, built anew for its type each time it is configured: 0 a device row
// of four columns, 1 a caption and its value, 2 the action button (hidden without a title), 3 a
// caption and up to three price boxes. Any other type leaves the row empty.
class OrderInfoCell : public HomeInfoCell {
  public:
    static constexpr int kMaxPriceBoxes = 3;

    static std::shared_ptr<OrderInfoCell> create(std::string reuseIdentifier);

    using HomeInfoCell::setupUIConfigWithFrame;
    // count serves type 3 only; target, action and title type 2 only.
    void setupUIConfigWithFrame(CGRect frame, int type, int count, std::weak_ptr<NSObject> target,
                                Action action, const std::string& title);

    const std::shared_ptr<UILabel>& history_oneLabel() const { return history_[0]; }
    const std::shared_ptr<UILabel>& history_twoLabel() const { return history_[1]; }
    const std::shared_ptr<UILabel>& history_threeLabel() const { return history_[2]; }

  protected:
    explicit OrderInfoCell(std::string reuseIdentifier)
        : HomeInfoCell(std::move(reuseIdentifier)) {}

  private:
    void buildPriceRow(CGFloat w, CGFloat h, int count);

    std::shared_ptr<UILabel> history_[kMaxPriceBoxes];
};

#pragma once

#include <memory>
#include <string>

#include "inquiries/HomeInfoCell.h"

// A row of the quotation-side detail: the detail's device (0), caption (1) and quote (2, titled
// "修改报价") rows, a remark row with its arrow (3), and the row of earlier prices (4) with up
// to three boxes.
class OfferInfoCell : public HomeInfoCell {
  public:
    static constexpr int kHistoryBoxes = 3;

    static std::shared_ptr<OfferInfoCell> create(std::string reuseIdentifier);

    // contentCount: the number of earlier prices of a type 4 row.
    void setupUIConfigWithFrame(CGRect frame, int type, int contentCount,
                                std::weak_ptr<NSObject> target, Action action);

    const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<UILabel>& contentLabel() const { return contentLabel_; }
    // The history boxes built, in order; empty for other types.
    const std::vector<std::shared_ptr<UILabel>>& historyLabels() const { return history_; }
    // The first, second and third box; null when the row has fewer.
    std::shared_ptr<UILabel> history_oneLabel() const { return historyLabel(0); }
    std::shared_ptr<UILabel> history_twoLabel() const { return historyLabel(1); }
    std::shared_ptr<UILabel> history_threeLabel() const { return historyLabel(2); }

  protected:
    using HomeInfoCell::HomeInfoCell;

  private:
    std::shared_ptr<UILabel> historyLabel(size_t i) const {
        return i < history_.size() ? history_[i] : nullptr;
    }

    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UILabel> contentLabel_;
    std::vector<std::shared_ptr<UILabel>> history_;
};

#pragma once

#include <memory>
#include <string>

#include "UIKit/UILabel.h"
#include "UIKit/UITableViewCell.h"
#include "inquiries/HomeModel.h"

// A row of the message centre: a red dot while the message is unread, its type as the title,
// its text below and the time on the right.
class MessageCell : public UITableViewCell {
  public:
    static std::shared_ptr<MessageCell> create(std::string reuseIdentifier);

    // Builds the views once; only the frame's width counts.
    void setupUIConfigWithFrame(CGRect frame);
    // No item gives an empty row without a dot. A notice never shows the dot.
    void updateUIConfigWithModel(const HomeModel* item, bool selected);

    const std::shared_ptr<UIView>& signView() const { return signView_; }
    const std::shared_ptr<UILabel>& titleLab() const { return titleLab_; }
    const std::shared_ptr<UILabel>& subTitleLab() const { return subTitleLab_; }
    const std::shared_ptr<UILabel>& timeLab() const { return timeLab_; }

  protected:
    explicit MessageCell(std::string reuseIdentifier)
        : UITableViewCell(UITableViewCellStyleSubtitle, std::move(reuseIdentifier)) {}

  private:
    std::shared_ptr<UIView> signView_;
    std::shared_ptr<UILabel> titleLab_;
    std::shared_ptr<UILabel> subTitleLab_;
    std::shared_ptr<UILabel> timeLab_;
};

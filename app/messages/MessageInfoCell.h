#pragma once

#include <memory>
#include <string>

#include "UIKit/UITableViewCell.h"

// A cell of the message centre's with nothing of its own: no screen shows it.
class MessageInfoCell : public UITableViewCell {
  public:
    static std::shared_ptr<MessageInfoCell> create(UITableViewCellStyle style,
                                                   std::string reuseIdentifier);

  protected:
    MessageInfoCell(UITableViewCellStyle style, std::string reuseIdentifier)
        : UITableViewCell(style, std::move(reuseIdentifier)) {}
};

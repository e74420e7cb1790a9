#include "messages/MessageInfoCell.h"

std::shared_ptr<MessageInfoCell> MessageInfoCell::create(UITableViewCellStyle style,
                                                         std::string reuseIdentifier) {
    return finishCreate(
        std::shared_ptr<MessageInfoCell>(new MessageInfoCell(style, std::move(reuseIdentifier))),
        CGRectMake(0, 0, 320, 44));
}

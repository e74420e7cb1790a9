#include "inquiries/OfferCell.h"

std::shared_ptr<OfferCell> OfferCell::create(UITableViewCellStyle style,
                                             std::string reuseIdentifier) {
    return finishCreate(
        std::shared_ptr<OfferCell>(new OfferCell(style, std::move(reuseIdentifier))),
        CGRectMake(0, 0, 320, 44));
}

void OfferCell::updateContentWithModel(const HomeModel* model, int64_t pIndex,
                                       const std::string& currentSection) {
    HomeCell::updateContentWithModel(model, pIndex);
    if (!favrateButton()) return;
    const CGFloat cw = contentFrame().size.width;
    const CGFloat ch = contentFrame().size.height;
    // A reused card may come from the other tab: both layouts are set every time.
    const bool notWon = currentSection == "未中签";
    offerButton()->setHidden(notWon);
    favrateButton()->setFrame(notWon ? CGRectMake(0, ch - 40, cw, 40)
                                     : CGRectMake(cw / 2 - 1, ch - 40, cw / 2 + 1, 40));
}

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
    // A reused card may come from the other tab: both layouts are set every time.
    notWon_ = currentSection == "未中签";
    layoutCard(contentFrame().size.width, contentFrame().size.height);
}

void OfferCell::layoutCard(CGFloat cw, CGFloat ch) {
    HomeCell::layoutCard(cw, ch);
    offerButton()->setHidden(notWon_);
    if (notWon_) favrateButton()->setFrame(CGRectMake(0, ch - 40, cw, 40));
}

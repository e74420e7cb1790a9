#pragma once

#include <memory>
#include <string>

#include "inquiries/HomeCell.h"

// The quotation lists' card: the inquiry card, whose quote button gives way to a favourite
// button across the whole card on the list of quotations not won ("未中签").
class OfferCell : public HomeCell {
  public:
    static std::shared_ptr<OfferCell> create(UITableViewCellStyle style,
                                             std::string reuseIdentifier);

    void updateContentWithModel(const HomeModel* model, int64_t pIndex,
                                const std::string& currentSection);

  protected:
    using HomeCell::HomeCell;
    void layoutCard(CGFloat cw, CGFloat ch) override;

  private:
    bool notWon_ = false;
};

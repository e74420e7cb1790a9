#pragma once

#include <memory>
#include <string>

#include "UIKit/UISwipeGestureRecognizer.h"
#include "inquiries/MiddleViewController.h"
#include "shell/MiddleNavView.h"

// The quotation tab's list: the engineer's quotations still open ("询价中", "IsOffer" 1) and
// those not won ("未中签", 2), chosen on a bar of two titles or by a sideways swipe. It pages,
// stars and quotes again as the home list does; cards and details of quotations not won have
// no quote button.
class OfferMiddleViewController : public MiddleViewController {
  public:
    static constexpr int kSegmentTag = 97;
    static constexpr CGFloat kSegmentHeight = 35;

    static std::shared_ptr<OfferMiddleViewController> create(
        std::weak_ptr<UIViewController> superClass);

    void setupUIConfig() override;
    void doSearchLoadWithPageNum(const std::string& page) override;
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;
    // A title of the bar: selects its tab and asks for its first page.
    void middleNavClick(const std::shared_ptr<UIButton>& sender);
    // Adds to the table a swipe of the direction that changes the tab.
    void creatSwipeGesture(unsigned direction);
    void swipAction(UISwipeGestureRecognizer& gesture);
    // Right (YES) moves to the previous tab, left to the next, round at the ends.
    void swipeSlipForLeft(bool left);
    void cellButtonClick_offer(const std::shared_ptr<UIButton>& sender) override;

    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) override;
    void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                          const NSIndexPath& indexPath) override;

    const std::string& currentSelectSectionStr() const { return currentSelectSectionStr_; }
    int currentSection() const { return currentSection_; }
    const std::shared_ptr<MiddleNavView>& segmentBar() const { return segmentBar_; }

  protected:
    using MiddleViewController::MiddleViewController;
    InquiryOrigin rowOrigin() const override;
    CGRect tableFrame() override;
    bool pullDownResetsFooter() const override { return true; }

  private:
    std::string isOffer() const;

    std::shared_ptr<MiddleNavView> segmentBar_;
    int currentSection_ = 0;
    int totolSectionNum_ = 2;
    std::string currentSelectSectionStr_ = "询价中";
    bool isSideslip_ = false;
};

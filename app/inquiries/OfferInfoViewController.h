#pragma once

#include <memory>
#include <string>

#include "inquiries/HomeInfoViewController.h"

// The detail of an inquiry the engineer quoted: the inquiry detail with the final price and his
// earlier prices among the price rows, his remark, and a quote button that changes his price
// (left out for a quotation not won). An edited remark goes to the service with his current
// price.
class OfferInfoViewController : public HomeInfoViewController {
  public:
    static std::shared_ptr<OfferInfoViewController> create(
        std::shared_ptr<HomeModel> superModel, std::weak_ptr<UIViewController> superClass);

    void setAskPriceIDStr(std::string id) { setAskPriceID(std::move(id)); }
    void setHideOfferButon(bool hide) { hideOfferButon_ = hide; }

    void updateDataWithDictionary(const nlohmann::json& dictionary) override;
    void baojiaButtonClick() override;
    // updateRemarkOrNot: the remark goes along, after the three keys of a quotation.
    void sendOfferRequestWithContent(const std::string& content, const std::string& askpriceID,
                                     bool updateRemarkOrNot);
    // The remark row opens the remark screen.
    void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                          const NSIndexPath& indexPath) override;

    const std::string& currentOfferStr() const { return currentOfferStr_; }
    const std::string& remarkStr() const { return remarkStr_; }

  protected:
    using HomeInfoViewController::HomeInfoViewController;
    std::vector<std::vector<std::shared_ptr<HomeModel>>> sectionsFromReply(
        const nlohmann::json& reply) const override;
    bool showsQuoteRow() const override { return !hideOfferButon_; }
    std::shared_ptr<UITableViewCell> captionCell(const std::shared_ptr<UITableView>& table,
                                                 const NSIndexPath& indexPath,
                                                 const HomeModel& row) override;
    std::shared_ptr<UITableViewCell> quoteCell(const std::shared_ptr<UITableView>& table) override;
    CGFloat captionRowHeight(const HomeModel& row) override;

  private:
    bool hideOfferButon_ = false;
    std::string currentOfferStr_;
    std::string remarkStr_;
};

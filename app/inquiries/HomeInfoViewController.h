#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewController.h"
#include "inquiries/HomeModel.h"
#include "shell/UIViewController+CustomVC.h"

// One published inquiry: a header with the customer, the product, travel costs, city and days
// left, the favourite and call buttons; below it the devices, paged by three under an arrow, the
// detail's caption rows in four sections and the quote button. The quotation-side detail is the
// same screen with rows of its own.
class HomeInfoViewController : public UIViewController,
                               public CustomVC,
                               public UITableViewDataSource,
                               public UITableViewDelegate {
  public:
    static constexpr int kDevicesPerPage = 3;
    static constexpr CGFloat kHeaderHeight = 110;
    static constexpr CGFloat kQuoteRowHeight = 80;

    // superModel: the record opened, which carries the favourite mark and is what the store
    // keeps. superClass: the opener, told to refresh after a quotation went through.
    static std::shared_ptr<HomeInfoViewController> create(
        std::shared_ptr<HomeModel> superModel, std::weak_ptr<UIViewController> superClass);

    void setAskPriceID(std::string id) { askPriceID_ = std::move(id); }
    const std::string& askPriceID() const { return askPriceID_; }
    // "message" when opened from the message centre: no favourite button.
    void setWherefrom(std::string from) { wherefrom_ = std::move(from); }
    // Cleared by an opener that builds the screen and asks for its detail itself.
    void setIsFirstLoad(bool first) { isFirstLoad_ = first; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void setupUIConfig();
    void sendDetailRequest();
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;
    void updateDeviceNumWithDictionary(const nlohmann::json& dictionary);
    // Asks for the detail again and passes the refresh on to the opener.
    void doRefresh() override;

    void navBarButtonClick(const std::shared_ptr<UIView>& sender);
    void backButtonClick();
    void faverateButtonClick();
    void phoneButtonClick();
    // The arrow under the devices: the next page of three.
    void xialaButtonClick(const std::shared_ptr<UIButton>& sender);
    virtual void baojiaButtonClick();
    // The quotation of the inquiry: an amount, after the travel question for the catalogue
    // product whose costs leave travel out.
    void setupPop_upWindowWithAskpriceID(const std::string& askPriceID);
    void sendOfferRequestWithContent(const std::string& content, const std::string& askpriceID);
    // Adds to the view a swipe of the direction that goes back.
    void creatSwipeGesture(unsigned direction);
    void swipAction(UISwipeGestureRecognizer& gesture);

    // Table. A row's height in whole points: the devices' 40, the quote row's 80, a caption
    // row's as its texts need.
    int heightForRowAtIndexPath(const NSIndexPath& indexPath);
    int numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) override;
    int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int section) override;
    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) override;
    std::optional<CGFloat> tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const NSIndexPath& indexPath) override;
    std::optional<CGFloat> tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&,
                                                             int section) override;
    std::optional<CGFloat> tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>&,
                                                             int section) override;
    std::shared_ptr<UIView> tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>&,
                                                            int section) override;
    std::shared_ptr<UIView> tableViewViewForFooterInSection(const std::shared_ptr<UITableView>&,
                                                            int section) override;

    const std::shared_ptr<HomeModel>& superModel() const { return superModel_; }
    const std::shared_ptr<UITableView>& tableView() const { return tableView_; }
    const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<UILabel>& subTitleLabel() const { return subTitleLabel_; }
    const std::shared_ptr<UITextField>& leftLabel() const { return leftLabel_; }
    const std::shared_ptr<UITextField>& midLabel() const { return midLabel_; }
    const std::shared_ptr<UITextField>& rightLabel() const { return rightLabel_; }
    const std::shared_ptr<UIButton>& faverateBtn() const { return faverateBtn_; }
    const std::shared_ptr<UIButton>& phoneBtn() const { return phoneBtn_; }
    // The device arrow.
    const std::shared_ptr<UIButton>& moreButton() const { return btn_; }
    // The heading record and then the devices.
    const std::vector<std::shared_ptr<HomeModel>>& topDataArray() const { return topDataArray_; }
    // The caption rows of a section after the devices (1 is the first); empty before a reply.
    const std::vector<std::shared_ptr<HomeModel>>& rowsOfSection(int section) const;
    uint64_t devicePageNum() const { return devicePageNum_; }
    const std::string& phoneNum() const { return phoneNum_; }
    bool isOfferPrice() const { return isOfferPrice_; }

  protected:
    HomeInfoViewController(std::shared_ptr<HomeModel> superModel,
                           std::weak_ptr<UIViewController> superClass)
        : superModel_(std::move(superModel)), superClass_(std::move(superClass)) {}

    // The caption rows from a detail reply, one vector per section after the devices.
    virtual std::vector<std::vector<std::shared_ptr<HomeModel>>> sectionsFromReply(
        const nlohmann::json& reply) const;
    // Whether the last section ends with the quote row.
    virtual bool showsQuoteRow() const { return true; }
    virtual std::string title() const { return "详情页"; }
    // Draws a caption row of the sections after the devices.
    virtual std::shared_ptr<UITableViewCell> captionCell(const std::shared_ptr<UITableView>& table,
                                                         const NSIndexPath& indexPath,
                                                         const HomeModel& row);
    virtual std::shared_ptr<UITableViewCell> quoteCell(const std::shared_ptr<UITableView>& table);
    virtual CGFloat captionRowHeight(const HomeModel& row);
    // The body of an "AskPrice/EngineerPrice" request of this screen, sent; a reply with "code"
    // "1" then brings the detail again.
    void sendQuotation(const std::string& body);
    void showAmountPopup(const std::string& askPriceID);
    void showMessage(const std::string& message);
    bool isQuoteRow(const NSIndexPath& indexPath) const;

  private:
    void showDetail(const nlohmann::json& reply);
    void markFavoriteButton();

    std::shared_ptr<HomeModel> superModel_;
    std::weak_ptr<UIViewController> superClass_;
    std::string wherefrom_;
    std::string askPriceID_;
    bool isFirstLoad_ = true;
    bool isOfferPrice_ = false;
    std::string pGoodsIDStr_;
    std::string phoneNum_;
    std::vector<std::shared_ptr<HomeModel>> topDataArray_;
    std::vector<std::vector<std::shared_ptr<HomeModel>>> sections_;
    // The last device page that arrived (the detail carries page 1).
    uint64_t devicePageNum_ = 0;
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UILabel> subTitleLabel_;
    std::shared_ptr<UITextField> leftLabel_;
    std::shared_ptr<UITextField> midLabel_;
    std::shared_ptr<UITextField> rightLabel_;
    std::shared_ptr<UIButton> faverateBtn_;
    std::shared_ptr<UIButton> phoneBtn_;
    std::shared_ptr<UITableView> tableView_;
    std::shared_ptr<UIButton> btn_;
};

// The detail's reply value as "%@" shows it, empty when missing; "无" for a missing or
// non-numeric amount where the row needs a number.
std::string detailNumberOrNone(const nlohmann::json& reply, const char* key);
// A caption row.
std::shared_ptr<HomeModel> captionRow(const std::string& caption, std::string value);

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewController.h"
#include "orders/OrderModel.h"
#include "orders/PositionLookup.h"
#include "shell/UIViewController+CustomVC.h"

// One order of the engineer, whole: a header with the customer, the state badge, the goods,
// travel costs, city and the call button; below it the devices, paged by three under an arrow,
// the order's caption rows in four sections and the action button that moves the order on.
// Departure, start and completion are sent with the address of where the engineer is.
class OrderInfoViewController : public UIViewController,
                                public CustomVC,
                                public UITableViewDataSource,
                                public UITableViewDelegate {
  public:
    static constexpr int kDevicesPerPage = 3;
    static constexpr CGFloat kHeaderHeight = 110;
    static constexpr CGFloat kDeviceRowHeight = 40;
    static constexpr CGFloat kActionRowHeight = 80;

    // superViewController: the opener, told to refresh after an action went through.
    static std::shared_ptr<OrderInfoViewController> create(
        std::weak_ptr<UIViewController> superViewController);

    void setOrderIDStr(std::string id) { orderIDStr_ = std::move(id); }
    const std::string& orderIDStr() const { return orderIDStr_; }
    void setAskPriceIDStr(std::string id) { askPriceIDStr_ = std::move(id); }
    const std::string& askPriceIDStr() const { return askPriceIDStr_; }
    // Cleared by an opener that builds the screen and asks for its detail itself.
    void setIsFirstLoad(bool first) { isFirstLoad_ = first; }
    const std::string& orderStateIDStr() const { return orderStateIDStr_; }
    const std::string& IsLeaveStr() const { return IsLeaveStr_; }
    const std::string& IsAgreeRefundStr() const { return IsAgreeRefundStr_; }
    const std::string& botButtonTitleStr() const { return botButtonTitleStr_; }
    const std::string& phoneNum() const { return phoneNum_; }
    bool isSendAddress() const { return isSendAddress_; }
    uint64_t devicePageNum() const { return devicePageNum_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void setupUIConfig();
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;
    void updateDeviceNumWithDictionary(const nlohmann::json& dictionary);

    void navBarButtonClick(const std::shared_ptr<UIView>& sender);
    void backButtonClick();
    void swipAction(UISwipeGestureRecognizer& gesture);
    void phoneButtonClick();
    // The arrow under the devices: the next page of three.
    void xialaButtonClick(const std::shared_ptr<UIButton>& sender);
    // The action button of the last row.
    void baojiaButtonClick();
    // The row height in whole points.
    int heightForRowAtIndexPath(const NSIndexPath& indexPath);
    // The width of the customer's name: at most three quarters of the screen less 30, plus 20.
    int widthForTitleWithContent(const std::string& content);

    // The position and its address for a state move.
    void getAddress();
    void initMapView();
    void initSearch();
    void getAddressFromMap(const std::string& address);

    // Table.
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

    const std::shared_ptr<UITableView>& tableView() const { return tableView_; }
    const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<UILabel>& signLabel() const { return signLabel_; }
    const std::shared_ptr<UILabel>& subTitleLabel() const { return subTitleLabel_; }
    const std::shared_ptr<UITextField>& leftLabel() const { return leftLabel_; }
    const std::shared_ptr<UITextField>& midLabel() const { return midLabel_; }
    const std::shared_ptr<UIButton>& phoneBtn() const { return phoneBtn_; }
    // The heading row and then the devices.
    const std::vector<std::shared_ptr<OrderModel>>& topDataArray() const { return topDataArray_; }
    // The rows under "first" to "fourth" (sections 1 to 4); empty before the detail.
    const std::vector<std::shared_ptr<OrderModel>>& rowsOfSection(int section) const;
    // The position source and search client of a lookup in progress, else null.
    std::shared_ptr<VMMapView> mapView() const { return lookup_ ? lookup_->mapView() : nullptr; }

  protected:
    explicit OrderInfoViewController(std::weak_ptr<UIViewController> superViewController)
        : superViewController_(std::move(superViewController)) {}

  private:
    void showDetail(const nlohmann::json& reply);
    void showActionReply(const nlohmann::json& reply);
    bool hasActionRow() const;
    bool isActionRow(const NSIndexPath& indexPath) const;
    void sendDetailRequest();
    void sendAction(const std::string& path, const std::string& body);
    void showMessage(const std::string& message);

    std::weak_ptr<UIViewController> superViewController_;
    std::string orderIDStr_;
    std::string orderStateIDStr_;
    std::string IsLeaveStr_;
    std::string IsAgreeRefundStr_;
    std::string askPriceIDStr_;
    std::string botButtonTitleStr_;
    std::string phoneNum_;
    bool isFirstLoad_ = true;
    bool isSendAddress_ = false;
    // The last device page that arrived (the detail carries page 1).
    uint64_t devicePageNum_ = 0;
    std::vector<std::shared_ptr<OrderModel>> topDataArray_;
    std::map<std::string, std::vector<std::shared_ptr<OrderModel>>> botDataDic_;
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UILabel> signLabel_;
    std::shared_ptr<UILabel> subTitleLabel_;
    std::shared_ptr<UITextField> leftLabel_;
    std::shared_ptr<UITextField> midLabel_;
    std::shared_ptr<UIButton> phoneBtn_;
    std::shared_ptr<UITableView> tableView_;
    std::shared_ptr<PositionLookup> lookup_;
};

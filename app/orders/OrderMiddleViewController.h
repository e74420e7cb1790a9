#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "PullRefresh/PullRefreshHeaderView.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "orders/OrderModel.h"
#include "orders/PositionLookup.h"
#include "shell/CustomSlipMenu.h"
#include "shell/PullUpPager.h"
#include "shell/TabContainerViewController.h"
#include "shell/UIViewController+CustomVC.h"

// The application's own answer of a position lookup: the address of where the engineer is.
class MapViewDelegate {
  public:
    virtual ~MapViewDelegate() = default;
    virtual void getAddressFromMap(const std::string& address) = 0;
};

// The order tab's list: the engineer's orders ten a page, filtered by state through six tabs
// (a swipe moves to the neighbouring tab), paged as the home list pages. Each card moves its
// order on: departure, start and completion are confirmed, then sent with the address of where
// the engineer is; a cancelled order is confirmed or a compensation claimed.
class OrderMiddleViewController : public UIViewController,
                                  public CustomVC,
                                  public TabListScreen,
                                  public UITableViewDataSource,
                                  public UITableViewDelegate,
                                  public PullRefreshBaseViewDelegate,
                                  public MapViewDelegate {
  public:
    static constexpr CGFloat kMenuHeight = 40;
    static constexpr CGFloat kActionRowHeight = 140;
    static constexpr CGFloat kPlainRowHeight = 100;
    static constexpr int kMenuTag = 97;
    // The tab titles in order; tab i's button is tagged 10 + i.
    static const std::vector<std::string>& sectionTitles();

    static std::shared_ptr<OrderMiddleViewController> create(
        std::weak_ptr<UIViewController> superClass);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    void setupUIConfig();
    void middleNavClick(const std::shared_ptr<UIButton>& tab);
    // Adds to the table a swipe of the direction that changes the tab.
    void creatSwipeGesture(unsigned direction);
    void swipAction(UISwipeGestureRecognizer& recognizer);
    // left: to the tab before (the first wraps to the last); else to the one after.
    void swipeSlipForLeft(bool left);
    void doRefresh() override;
    // page: a decimal page number; the state comes from the selected tab.
    void doSearchLoadWithPageNum(const std::string& page);
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;
    void setIsShowLeftView(bool shown) override { isShowLeftView_ = shown; }
    bool isShowLeftView() const { return isShowLeftView_; }

    // Paging.
    void refreshViewBeginRefreshing(const std::shared_ptr<PullRefreshBaseView>&) override;
    void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) override;
    void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) override;
    void scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>& scrollView,
                                  bool willDecelerate) override;
    void downDragRefresh();
    void upDragRefresh();
    void bottomLoadViewStopLoading();
    void refreshCurrentDataTable();

    // Table.
    int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int) override;
    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) override;
    std::optional<CGFloat> tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const NSIndexPath& indexPath) override;
    // A card opens its order's detail.
    void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                          const NSIndexPath& indexPath) override;
    // Despite its name, the width the card gives the customer's name: the name's width plus 20,
    // at most half the screen.
    int64_t heightForRowAtIndexPath(const NSIndexPath& indexPath);

    // The cards' buttons; the sender's tag is the row.
    void cellButtonClick_offer(const std::shared_ptr<UIButton>& sender);
    void cellButtonClick_favrate(const std::shared_ptr<UIButton>& sender);

    // The position and its address for a state move: an off-screen map view, then a search
    // for the address of its first fix.
    void getAddress();
    void initMapView();
    void initSearch();
    void getAddressFromMap(const std::string& address) override;

    const std::shared_ptr<CustomSlipMenu>& menu() const { return menu_; }
    const std::shared_ptr<UITableView>& tableView() const { return tableView_; }
    const std::shared_ptr<UILabel>& bottomLabel() const { return pager_->bottomLabel(); }
    const std::vector<std::shared_ptr<OrderModel>>& dataArray() const { return dataArray_; }
    const std::string& currentSelectSectionStr() const { return currentSelectSectionStr_; }
    int64_t currentSection() const { return currentSection_; }
    uint64_t pageIndex() const { return pager_->pageIndex(); }
    uint64_t rowsOfOnePage() const { return pager_->rowsOfOnePage(); }
    uint64_t totalPageNum() const { return pager_->totalPageNum(); }
    uint64_t totalRowCount() const { return pager_->totalRowCount(); }
    bool isSendAddress() const { return isSendAddress_; }
    // The position source and search client of a lookup in progress, else null.
    std::shared_ptr<VMMapView> mapView() const { return lookup_ ? lookup_->mapView() : nullptr; }
    std::shared_ptr<VAvaSearchAPI> search() const { return lookup_ ? lookup_->search() : nullptr; }

  protected:
    explicit OrderMiddleViewController(std::weak_ptr<UIViewController> superClass)
        : superClass_(std::move(superClass)) {}

  private:
    // The order a confirmed state move is for, as it stood at the confirmation: the list may be
    // reloaded before the address arrives.
    struct PendingMove {
        std::string orderID;
        int state = 0;
    };

    std::shared_ptr<OrderModel> rowForButton(const std::shared_ptr<UIButton>& button) const;
    void sendAction(const std::string& path, const std::string& body);
    void showMessage(const std::string& message);
    void presentPopup(const std::shared_ptr<UIView>& popup);

    bool isFirstLoad_ = true;
    bool isDownDragRefresh_ = false;
    std::shared_ptr<PullRefreshHeaderView> headerView_;
    int64_t currentSection_ = 0;
    int64_t totolSectionNum_ = 0;
    std::shared_ptr<PullUpPager> pager_ = std::make_shared<PullUpPager>(1, 10, 1, 20);
    bool isSendAddress_ = false;
    std::optional<PendingMove> pendingMove_;
    std::shared_ptr<PositionLookup> lookup_;
    bool isShowLeftView_ = false;
    std::string currentSelectSectionStr_ = "全部订单";
    std::weak_ptr<UIViewController> superClass_;
    std::shared_ptr<CustomSlipMenu> menu_;
    std::shared_ptr<UITableView> tableView_;
    std::vector<std::shared_ptr<OrderModel>> dataArray_;
};

#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "PullRefresh/PullRefreshHeaderView.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "inquiries/HomeModel.h"
#include "inquiries/Pop_upWindow.h"
#include "shell/PullUpPager.h"
#include "shell/TabContainerViewController.h"
#include "shell/UIViewController+CustomVC.h"

// The home tab's list of open inquiries, ten a page: a pull-down reloads the first page, a
// pull-up past the end appends the next one. Cards star and unstar favourites in the phone's
// store and start a quotation. Its container places it between the shared bars.
class MiddleViewController : public UIViewController,
                             public CustomVC,
                             public TabListScreen,
                             public UITableViewDataSource,
                             public UITableViewDelegate,
                             public PullRefreshBaseViewDelegate {
  public:
    static constexpr CGFloat kRowHeight = 170;

    static std::shared_ptr<MiddleViewController> create(std::weak_ptr<UIViewController> superClass);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    virtual void setupUIConfig();
    void updateUIConfig();
    void doRefresh() override;
    // page: a decimal page number.
    virtual void doSearchLoadWithPageNum(const std::string& page);
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

    // The cards' buttons; the sender's tag is the row.
    void cellButtonClick_favrate(const std::shared_ptr<UIButton>& sender);
    virtual void cellButtonClick_offer(const std::shared_ptr<UIButton>& sender);
    // The amount pop-up for the inquiry; confirmed, it sends the quotation.
    void setupPop_upWindowWithAskpriceID(const std::string& askPriceID);
    // The card's quote button: an inquiry whose costs leave travel out first asks whether the
    // customer pays it.
    void setupPop_upWindowWithAskpriceID(const std::string& askPriceID,
                                         const std::shared_ptr<UIButton>& button);
    void sendOfferRequestWithContent(const std::string& content, const std::string& askpriceID);

    // Table.
    int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int) override;
    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) override;
    std::optional<CGFloat> tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const NSIndexPath&) override {
        return kRowHeight;
    }
    // Opens the inquiry's detail.
    void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                          const NSIndexPath& indexPath) override;

    const std::shared_ptr<UITableView>& tableView() const { return tableView_; }
    const std::shared_ptr<PullRefreshHeaderView>& headerView() const { return headerView_; }
    const std::shared_ptr<UIView>& downView() const { return pager_->downView(); }
    const std::shared_ptr<UILabel>& bottomLabel() const { return pager_->bottomLabel(); }
    const std::shared_ptr<UIActivityIndicatorView>& downIndicatorView() const {
        return pager_->downIndicatorView();
    }
    const std::vector<std::shared_ptr<HomeModel>>& dataArray() const { return dataArray_; }
    uint64_t pageIndex() const { return pager_->pageIndex(); }
    uint64_t rowsOfOnePage() const { return pager_->rowsOfOnePage(); }
    uint64_t totalPageNum() const { return pager_->totalPageNum(); }
    uint64_t totalRowCount() const { return pager_->totalRowCount(); }
    bool isLoadViewActive() const { return pager_->isLoadViewActive(); }

  protected:
    explicit MiddleViewController(std::weak_ptr<UIViewController> superClass)
        : superClass_(std::move(superClass)) {}

    // What the quotation lists and the search, which page the same way, tell apart.
    virtual InquiryOrigin rowOrigin() const { return InquiryOrigin::home; }
    virtual std::string amountWatermark() const { return "请在此填写报价金额"; }
    // What the first appearance asks for once the view is built: the first page.
    virtual void firstLoad() { doSearchLoadWithPageNum("1"); }
    // Where the table lies in the view.
    virtual CGRect tableFrame() { return view()->bounds(); }
    // Whether a pull-down puts the footer back to inviting a pull before the first page comes.
    virtual bool pullDownResetsFooter() const { return false; }
    // The list branch of a reply: replaces the rows, or appends them after a pull-up. False
    // when the reply has no list.
    bool takeListPage(const nlohmann::json& dictionary);
    // Null for a tag out of the rows' range.
    std::shared_ptr<HomeModel> rowForButton(const std::shared_ptr<UIButton>& button) const;
    void showMessage(const std::string& message);
    std::vector<std::shared_ptr<HomeModel>>& rows() { return dataArray_; }
    void setDownDragRefresh(bool on) { isDownDragRefresh_ = on; }
    const std::weak_ptr<UIViewController>& superClass() const { return superClass_; }

  private:
    bool isFirstLoad_ = true;
    bool isDownDragRefresh_ = false;
    std::shared_ptr<PullRefreshHeaderView> headerView_;
    std::shared_ptr<PullUpPager> pager_ = std::make_shared<PullUpPager>(0, 0, 0, 0);
    bool isShowLeftView_ = false;
    std::shared_ptr<UITableView> tableView_;
    std::vector<std::shared_ptr<HomeModel>> dataArray_;
    std::weak_ptr<UIViewController> superClass_;
};

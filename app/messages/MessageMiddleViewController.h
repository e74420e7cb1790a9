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
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "inquiries/HomeModel.h"
#include "shell/PullUpPager.h"
#include "shell/TabContainerViewController.h"
#include "shell/UIViewController+CustomVC.h"

// The message centre: the engineer's messages ten a page, paged as the home list pages. A tap
// marks an unread message read (on the server and in the unread badge) and opens what it is
// about: the inquiry (type 56), the order (55, 57) or the platform's notice (-1). In edit mode
// the selected messages are deleted.
class MessageMiddleViewController : public UIViewController,
                                    public CustomVC,
                                    public TabListScreen,
                                    public UITableViewDataSource,
                                    public UITableViewDelegate,
                                    public PullRefreshBaseViewDelegate {
  public:
    static constexpr CGFloat kRowHeight = 70;

    // superClass: the messages container, target of the bar's left item.
    static std::shared_ptr<MessageMiddleViewController> create(
        std::weak_ptr<UIViewController> superClass);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void setupUIConfig();
    void doRefresh() override;
    // page: a decimal page number; page 1 asks from the newest message on.
    void doSearchLoadWithPageNum(const std::string& page);
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;
    void setIsShowLeftView(bool shown) override { isShowLeftView_ = shown; }
    bool isShowLeftView() const { return isShowLeftView_; }

    // Edit mode.
    void rightButtonClick();
    void becomeEditing();
    void registerEditing();

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
                                                            const NSIndexPath&) override {
        return kRowHeight;
    }
    void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                          const NSIndexPath& indexPath) override;
    void tableViewDidDeselectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                            const NSIndexPath& indexPath) override;
    std::optional<UITableViewCellEditingStyle> tableViewEditingStyleForRowAtIndexPath(
        const std::shared_ptr<UITableView>&, const NSIndexPath&) override;

    const std::shared_ptr<UITableView>& tableView() const { return tableView_; }
    const std::shared_ptr<UIButton>& rightButton() const { return rightButton_; }
    const std::shared_ptr<UILabel>& bottomLabel() const { return pager_->bottomLabel(); }
    const std::vector<std::shared_ptr<HomeModel>>& dataArray() const { return dataArray_; }
    const std::vector<std::shared_ptr<HomeModel>>& selectArray() const { return selectArray_; }
    bool isEditing() const { return isEditing_; }
    uint64_t pageIndex() const { return pager_->pageIndex(); }
    uint64_t rowsOfOnePage() const { return pager_->rowsOfOnePage(); }
    uint64_t totalPageNum() const { return pager_->totalPageNum(); }
    uint64_t totalRowCount() const { return pager_->totalRowCount(); }

  protected:
    explicit MessageMiddleViewController(std::weak_ptr<UIViewController> superClass)
        : superClass_(std::move(superClass)) {}

  private:
    void openMessage(const std::shared_ptr<HomeModel>& item);
    void markRead(HomeModel& item);
    void send(const std::string& path, const std::string& body,
              std::weak_ptr<UIViewController> receiver);
    void showMessage(const std::string& message);

    std::weak_ptr<UIViewController> superClass_;
    bool isShowLeftView_ = false;
    bool isFirstLoad_ = true;
    bool isEditing_ = false;
    std::shared_ptr<PullUpPager> pager_ = std::make_shared<PullUpPager>(1, 10, 1, 20);
    std::shared_ptr<PullRefreshHeaderView> headerView_;
    std::shared_ptr<UITableView> tableView_;
    std::shared_ptr<UIButton> rightButton_;
    std::vector<std::shared_ptr<HomeModel>> dataArray_;
    std::vector<std::shared_ptr<HomeModel>> selectArray_;
};

#include "messages/MessageMiddleViewController.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSUserDefaults.h"
#include "SQLiteStore/DBManager.h"
#include "UIKit/UINavigationController.h"
#include "inquiries/HomeInfoViewController.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/RemarkViewController.h"
#include "messages/MessageCell.h"
#include "messages/MessageViewController.h"
#include "orders/OrderInfoViewController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"
#include "shell/CustomNavBar.h"
#include "shell/CustomTabBar.h"
#include "shell/DataRequestManager.h"

namespace {

constexpr const char* kMessageCellIdentifier = "MessageCell";
constexpr size_t kMessagesTab = 3;

uint64_t counter(const nlohmann::json& reply, const char* key) {
    const std::string text = replyText(reply, key);
    uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::shared_ptr<HomeModel> messageItem(const nlohmann::json& element) {
    auto item = HomeModel::create();
    item->setTitleStr(replyText(element, "NewsType"));
    item->setSubTitleStr(replyText(element, "Content"));
    item->setIsReadStr(replyText(element, "IsRead"));
    item->setTimeStr(replyText(element, "AddDate"));
    item->setNewsIDStr(replyText(element, "NewsID"));
    item->setNewtypeIDStr(replyText(element, "NewsTypeID"));
    item->setResourceIDStr(replyText(element, "ResourceID"));
    return item;
}

std::string engineerID() {
    const auto app = BrisfoldAppDelegate::getApp();
    return app ? app->APPUserID() : std::string();
}

}  // namespace

std::shared_ptr<MessageMiddleViewController> MessageMiddleViewController::create(
    std::weak_ptr<UIViewController> superClass) {
    return std::shared_ptr<MessageMiddleViewController>(
        new MessageMiddleViewController(std::move(superClass)));
}

void MessageMiddleViewController::viewDidLoad() {
    view()->setBackgroundColor(UIColor::clearColor());
}

void MessageMiddleViewController::viewWillAppear(bool) {
    const auto& v = view();
    const CGRect b = v->bounds();
    const auto tabBar = CustomTabBar::shareManager();
    tabBar->setFrame(
        CGRectMake(0, b.size.height - CustomTabBar::kHeight, b.size.width, CustomTabBar::kHeight));
    v->addSubview(tabBar);
    tabBar->setSelectedIndex(static_cast<int>(kMessagesTab));
    const auto& tabs = tabBar->tabs();
    const std::string title = tabs.size() > kMessagesTab ? tabs[kMessagesTab].title : "";

    const auto navBar = CustomNavBar::shareManager();
    std::weak_ptr<UIViewController> container = superClass_;
    navBar->setupNavBarHaveLeft(
        true, "ic_user_man_normal.png", "ic_user_man_selected.png", false, "", "",
        superClass_.lock(),
        [container](const std::shared_ptr<UIView>& sender) {
            if (auto messages = std::dynamic_pointer_cast<MessageViewController>(container.lock()))
                messages->navBarButtonClick(sender);
        },
        title);
    navBar->setFrame(CGRectMake(0, 0, b.size.width, CustomNavBar::kHeight));
    v->addSubview(navBar);

    const CGRect bar = navBar->frame();
    rightButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    rightButton_->setFrame(CGRectMake(bar.size.width - 60, 27, 50, bar.size.height - 34));
    // Edit mode outlives a visit elsewhere: the button says what a tap will do.
    rightButton_->setTitle(isEditing_ ? "删除" : "编辑", UIControlStateNormal);
    rightButton_->setTitleColor(UIColor::colorWithRed(244.0 / 255, 120.0 / 255, 0, 1),
                                UIControlStateNormal);
    std::weak_ptr<MessageMiddleViewController> weak = sharedSelf<MessageMiddleViewController>();
    sendActionOnTap(rightButton_, sharedSelf<NSObject>(), [weak](const std::shared_ptr<UIButton>&) {
        if (auto self = weak.lock()) self->rightButtonClick();
    });
    navBar->addItemView(rightButton_);

    if (!isFirstLoad_) return;
    isFirstLoad_ = false;
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->setupUIConfig();
        const std::string user = engineerID();
        if (user.empty()) return;
        self->send("NewsCenter/Index",
                   "UserOrEngineerID=" + formValue(user) + "&rows=10&pageindex=1&lastDateTime=",
                   self->weakSelf<UIViewController>());
    });
}

void MessageMiddleViewController::setupUIConfig() {
    if (tableView_) return;
    const CGRect b = view()->bounds();
    const CGFloat w = b.size.width;
    const CGFloat top = CustomNavBar::kHeight;
    tableView_ =
        UITableView::create(CGRectMake(0, top, w, b.size.height - (top + CustomTabBar::kHeight)),
                            UITableViewStylePlain);
    const auto self = sharedSelf<MessageMiddleViewController>();
    tableView_->setDataSource(std::weak_ptr<UITableViewDataSource>(self));
    tableView_->setDelegate(std::weak_ptr<UITableViewDelegate>(self));
    tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
    tableView_->setShowsVerticalScrollIndicator(true);
    tableView_->setShowsHorizontalScrollIndicator(false);
    tableView_->setBackgroundColor(UIColor::colorWithRed(229.0 / 255, 229.0 / 255, 229.0 / 255, 1));
    tableView_->setSeparatorColor(UIColor::clearColor());
    tableView_->setAllowsMultipleSelectionDuringEditing(true);

    headerView_ = PullRefreshHeaderView::header();
    headerView_->setScrollView(tableView_);
    headerView_->setDelegate(std::weak_ptr<PullRefreshBaseViewDelegate>(self));

    pager_->attach(*tableView_, w);
    // Under the bars, which the appearance put on top.
    view()->insertSubviewAtIndex(tableView_, 0);
}

void MessageMiddleViewController::send(const std::string& path, const std::string& body,
                                       std::weak_ptr<UIViewController> receiver) {
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return;
    DataRequestManager::shareManger()->requestWithURLString(app->serviceURL(path), body,
                                                            std::move(receiver));
}

void MessageMiddleViewController::doRefresh() { doSearchLoadWithPageNum("1"); }

void MessageMiddleViewController::doSearchLoadWithPageNum(const std::string& page) {
    const std::string user = engineerID();
    if (user.empty()) return;
    std::string body = "UserOrEngineerID=" + formValue(user) + "&rows=10&pageindex=" + page;
    if (page == "1") body += "&lastDateTime=";
    send("NewsCenter/Index", body, weakSelf<UIViewController>());
}

void MessageMiddleViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    if (dictionary.is_object() && dictionary.contains("code")) {
        if (const std::string tip = replyText(dictionary, "tip"); !tip.empty()) showMessage(tip);
        return;
    }
    if (!pager_->takeListPage(dictionary, counter)) dataArray_.clear();
    const auto list = dictionary.find("List");
    if (list != dictionary.end() && list->is_array())
        for (const auto& element : *list) dataArray_.push_back(messageItem(element));
    refreshCurrentDataTable();
}

void MessageMiddleViewController::refreshCurrentDataTable() {
    if (tableView_) tableView_->reloadData();
}

void MessageMiddleViewController::becomeEditing() {
    isEditing_ = true;
    selectArray_.clear();
    if (rightButton_) rightButton_->setTitle("删除", UIControlStateNormal);
    if (tableView_) tableView_->setEditing(true, true);
}

void MessageMiddleViewController::registerEditing() {
    isEditing_ = false;
    selectArray_.clear();
    if (rightButton_) rightButton_->setTitle("编辑", UIControlStateNormal);
    if (tableView_) tableView_->setEditing(false, true);
}

void MessageMiddleViewController::rightButtonClick() {
    if (!isEditing_) {
        becomeEditing();
        return;
    }
    for (const auto& item : selectArray_)
        send("NewsCenter/DeleteNews", "NewsID=" + formValue(item->newsIDStr()),
             weakSelf<UIViewController>());
    std::erase_if(dataArray_, [this](const std::shared_ptr<HomeModel>& item) {
        return std::find(selectArray_.begin(), selectArray_.end(), item) != selectArray_.end();
    });
    if (!selectArray_.empty()) refreshCurrentDataTable();
    registerEditing();
}

void MessageMiddleViewController::tableViewDidSelectRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    if (row >= dataArray_.size()) return;
    const auto item = dataArray_[row];
    if (isEditing_) {
        if (std::find(selectArray_.begin(), selectArray_.end(), item) == selectArray_.end())
            selectArray_.push_back(item);
        tableView->selectRowAtIndexPath(indexPath, false, UITableViewScrollPositionNone);
        return;
    }
    tableView->deselectRowAtIndexPath(indexPath, false);
    openMessage(item);
}

void MessageMiddleViewController::tableViewDidDeselectRowAtIndexPath(
    const std::shared_ptr<UITableView>&, const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    if (!isEditing_ || row >= dataArray_.size()) return;
    std::erase(selectArray_, dataArray_[row]);
}

std::optional<UITableViewCellEditingStyle>
MessageMiddleViewController::tableViewEditingStyleForRowAtIndexPath(
    const std::shared_ptr<UITableView>&, const NSIndexPath&) {
    return UITableViewCellEditingStyleMultiSelect;
}

void MessageMiddleViewController::markRead(HomeModel& item) {
    item.setIsReadStr("1");
    const auto app = BrisfoldAppDelegate::getApp();
    if (app) app->setNotReadCount(std::max(0L, app->notReadCount() - 1));
    NSUserDefaults::standardUserDefaults()->synchronize();
    send("NewsCenter/NewsIsRead", "newsID=" + formValue(item.newsIDStr()),
         weakSelf<UIViewController>());
    refreshCurrentDataTable();
}

void MessageMiddleViewController::openMessage(const std::shared_ptr<HomeModel>& item) {
    const auto navigation = navigationController();
    const std::string& type = item->newtypeIDStr();
    if (type == "-1") {
        if (navigation)
            navigation->pushViewController(RemarkViewController::create(item->subTitleStr(), true),
                                           true);
        return;
    }
    if (item->isReadStr() != "1") markRead(*item);
    if (!navigation) return;
    const std::string& resource = item->resourceIDStr();
    if (type == "56") {
        item->setHaveFavorite(DBManager::shareManager()->selectModelWithAskPriceID(resource) ? "1"
                                                                                             : "0");
        auto detail = HomeInfoViewController::create(item, weakSelf<UIViewController>());
        detail->setWherefrom("message");
        detail->setAskPriceID(resource);
        detail->setIsFirstLoad(false);
        std::weak_ptr<HomeInfoViewController> weakDetail = detail;
        NSRunLoop::mainRunLoop()->performAfterDelay(0, [weakDetail] {
            if (auto d = weakDetail.lock()) d->setupUIConfig();
        });
        navigation->pushViewController(detail, true);
        send("AskPrice/AskPriceDetail", "AskPriceID=" + formValue(resource), detail);
        return;
    }
    if (type == "55" || type == "57") {
        auto detail = OrderInfoViewController::create(weakSelf<UIViewController>());
        detail->setIsFirstLoad(false);
        detail->setAskPriceIDStr(resource);
        std::weak_ptr<OrderInfoViewController> weakDetail = detail;
        NSRunLoop::mainRunLoop()->performAfterDelay(0, [weakDetail] {
            if (auto d = weakDetail.lock()) d->setupUIConfig();
        });
        navigation->pushViewController(detail, true);
        send("Order/OrderDetail",
             "brisfoldID=" + formValue(engineerID()) + "&OrderID=" + formValue(resource), detail);
    }
}

void MessageMiddleViewController::refreshViewBeginRefreshing(
    const std::shared_ptr<PullRefreshBaseView>&) {
    downDragRefresh();
}

void MessageMiddleViewController::downDragRefresh() {
    pager_->resetText();
    doSearchLoadWithPageNum("1");
    if (headerView_) headerView_->endRefreshing();
}

void MessageMiddleViewController::scrollViewWillBeginDragging(
    const std::shared_ptr<UIScrollView>&) {
    pager_->scrollViewWillBeginDragging();
}

void MessageMiddleViewController::scrollViewDidScroll(
    const std::shared_ptr<UIScrollView>& scrollView) {
    pager_->scrollViewDidScroll(*scrollView);
}

void MessageMiddleViewController::scrollViewDidEndDragging(
    const std::shared_ptr<UIScrollView>& scrollView, bool) {
    if (pager_->scrollViewDidEndDragging(*scrollView)) upDragRefresh();
}

void MessageMiddleViewController::upDragRefresh() {
    const bool asked = pager_->loadNextPage(
        [this](uint64_t page) { doSearchLoadWithPageNum(std::to_string(page)); });
    if (!asked) refreshCurrentDataTable();
}

void MessageMiddleViewController::bottomLoadViewStopLoading() {
    pager_->bottomLoadViewStopLoading();
}

int MessageMiddleViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&,
                                                                int) {
    return static_cast<int>(dataArray_.size());
}

std::shared_ptr<UITableViewCell> MessageMiddleViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    auto cell = std::dynamic_pointer_cast<MessageCell>(
        tableView->dequeueReusableCellWithIdentifier(kMessageCellIdentifier));
    if (!cell) {
        cell = MessageCell::create(kMessageCellIdentifier);
        cell->setupUIConfigWithFrame(CGRectMake(0, 0, view()->frame().size.width, kRowHeight));
    }
    const auto row = static_cast<size_t>(indexPath.row);
    cell->updateUIConfigWithModel(row < dataArray_.size() ? dataArray_[row].get() : nullptr, false);
    return cell;
}

void MessageMiddleViewController::showMessage(const std::string& message) {
    inquiry::toast(sharedSelf<NSObject>(), message);
}

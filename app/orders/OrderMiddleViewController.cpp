#include "orders/OrderMiddleViewController.h"

#include <algorithm>
#include <utility>

#include "Foundation/JSONValue.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIViewAnimationWithBlocks.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/Pop_upWindow.h"
#include "orders/EngineerForm.h"
#include "orders/OrderCell.h"
#include "orders/OrderInfoViewController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/ShowAlertView.h"

namespace {

constexpr const char* kOrderCellIdentifier = "orderCell";
constexpr const char* kCancelServicePath = "Order/CancelService";
constexpr int kFirstTabTag = CustomSlipMenu::kFirstTag;

// The "OrderStateID" a tab's requests carry; none for "全部订单" or any other title.
std::string stateOfSection(const std::string& title) {
    const auto& titles = OrderMiddleViewController::sectionTitles();
    const auto found = std::find(titles.begin(), titles.end(), title);
    if (found == titles.end() || found == titles.begin()) return {};
    return std::to_string(OrderStateToDepart + (found - titles.begin()) - 1);
}

}  // namespace

const std::vector<std::string>& OrderMiddleViewController::sectionTitles() {
    static const std::vector<std::string> titles = {"全部订单", "待出发", "待实施",
                                                    "待完工",   "已完工", "其他"};
    return titles;
}

std::shared_ptr<OrderMiddleViewController> OrderMiddleViewController::create(
    std::weak_ptr<UIViewController> superClass) {
    return std::shared_ptr<OrderMiddleViewController>(
        new OrderMiddleViewController(std::move(superClass)));
}

void OrderMiddleViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::colorWithRed(0.87, 0.87, 0.87, 1));
}

void OrderMiddleViewController::viewWillAppear(bool) {
    if (!isFirstLoad_) return;
    isFirstLoad_ = false;
    std::weak_ptr<OrderMiddleViewController> weak = sharedSelf<OrderMiddleViewController>();
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->setupUIConfig();
        self->doSearchLoadWithPageNum("1");
    });
}

// The container keeps the shared bars above and below this screen's view: the tabs lie at its
// top and the table fills the rest.
void OrderMiddleViewController::setupUIConfig() {
    if (tableView_) return;
    const CGRect b = view()->bounds();
    const CGFloat w = b.size.width;
    totolSectionNum_ = static_cast<int64_t>(sectionTitles().size());
    const std::string device = BrisfoldAppDelegate::getApp()->deviceString();
    const bool narrow = device == "iphone 4s" || device == "iphone 4" || device == "iphone 5" ||
                        device == "iphone 5s" || device == "iphone 5c";
    std::weak_ptr<OrderMiddleViewController> weak = sharedSelf<OrderMiddleViewController>();
    menu_ = CustomSlipMenu::create(
        CGRectMake(0, 0, w, kMenuHeight), sectionTitles(), weak,
        [weak](const std::shared_ptr<UIButton>& tab) {
            if (auto self = weak.lock()) self->middleNavClick(tab);
        },
        narrow ? 4 : 5);
    menu_->layer()->setBorderWidth(0.2);
    menu_->layer()->setBorderColor(UIColor::lightGrayColor()->CGColor());
    menu_->setTag(kMenuTag);
    menu_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);

    tableView_ = UITableView::create(CGRectMake(2, kMenuHeight, w - 4, b.size.height - kMenuHeight),
                                     UITableViewStylePlain);
    tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight |
                                    UIViewAutoresizingFlexibleWidth);
    tableView_->setShowsVerticalScrollIndicator(true);
    tableView_->setShowsHorizontalScrollIndicator(false);
    tableView_->setBackgroundColor(UIColor::colorWithRed(0.87, 0.87, 0.87, 1));
    tableView_->setSeparatorColor(UIColor::clearColor());
    const auto self = sharedSelf<OrderMiddleViewController>();
    tableView_->setDelegate(std::weak_ptr<UITableViewDelegate>(self));
    tableView_->setDataSource(std::weak_ptr<UITableViewDataSource>(self));

    headerView_ = PullRefreshHeaderView::header();
    headerView_->setScrollView(tableView_);
    headerView_->setDelegate(std::weak_ptr<PullRefreshBaseViewDelegate>(self));

    pager_->attach(*tableView_, w);

    view()->addSubview(menu_);
    view()->addSubview(tableView_);
    creatSwipeGesture(UISwipeGestureRecognizerDirectionLeft);
    creatSwipeGesture(UISwipeGestureRecognizerDirectionRight);
}

void OrderMiddleViewController::creatSwipeGesture(unsigned direction) {
    inquiry::addSwipe(*tableView_, sharedSelf<OrderMiddleViewController>(), direction);
}

void OrderMiddleViewController::middleNavClick(const std::shared_ptr<UIButton>& tab) {
    if (!tab || !menu_) return;
    std::shared_ptr<UIView> holder;
    for (const auto& v : menu_->subviews()) {
        if (std::dynamic_pointer_cast<UIImageView>(v) || std::dynamic_pointer_cast<UILabel>(v))
            continue;
        if (v->subviews().empty()) continue;
        if (auto button = std::dynamic_pointer_cast<UIButton>(v->subviews().front())) {
            button->setSelected(false);
            button->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
            if (button == tab) holder = v;
        }
    }
    for (const auto& v : menu_->subviews()) {
        auto bar = std::dynamic_pointer_cast<UIImageView>(v);
        if (!bar || bar->tag() != CustomSlipMenu::kBarTag || !holder) continue;
        CGRect to = bar->frame();
        to.origin.x = holder->frame().origin.x;
        to.size.width = holder->frame().size.width;
        UIViewAnimateWithDuration(0.2, [bar, to] { bar->setFrame(to); });
    }
    currentSection_ = tab->tag() - kFirstTabTag;
    tab->setSelected(true);
    tab->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
    const auto& titles = sectionTitles();
    if (currentSection_ < 0 || currentSection_ >= static_cast<int64_t>(titles.size())) return;
    currentSelectSectionStr_ = titles[static_cast<size_t>(currentSection_)];
    const auto app = BrisfoldAppDelegate::getApp();
    if (app->APPUserID().empty()) return;
    // Unlike a page request, a tab's first page goes without "lastDateTime".
    std::string body = engineerBody() + "&rows=10&pageindex=1";
    if (const auto state = stateOfSection(currentSelectSectionStr_); !state.empty())
        body += "&OrderStateID=" + state;
    DataRequestManager::shareManger()->requestWithURLString(app->serviceURL("Order/OrderList"),
                                                            body, weakSelf<UIViewController>());
}

void OrderMiddleViewController::swipAction(UISwipeGestureRecognizer& recognizer) {
    inquiry::swipeBetweenTabs(recognizer.direction(),
                              [this](bool left) { swipeSlipForLeft(left); });
}

void OrderMiddleViewController::swipeSlipForLeft(bool left) {
    if (totolSectionNum_ <= 0) return;
    if (left)
        currentSection_ = currentSection_ == 0 ? totolSectionNum_ - 1 : currentSection_ - 1;
    else
        currentSection_ = currentSection_ == totolSectionNum_ - 1 ? 0 : currentSection_ + 1;
    if (!menu_) return;
    const int tag = kFirstTabTag + static_cast<int>(currentSection_);
    for (const auto& holder : menu_->subviews()) {
        if (holder->tag() != tag || std::dynamic_pointer_cast<UIImageView>(holder)) continue;
        for (const auto& v : holder->subviews())
            if (auto button = std::dynamic_pointer_cast<UIButton>(v); button && v->tag() == tag)
                middleNavClick(button);
    }
}

void OrderMiddleViewController::doRefresh() { doSearchLoadWithPageNum("1"); }

void OrderMiddleViewController::doSearchLoadWithPageNum(const std::string& page) {
    const auto app = BrisfoldAppDelegate::getApp();
    // Before anyone signed in there is no list to ask for.
    if (app->APPUserID().empty()) return;
    std::string body = engineerBody() + "&rows=10&pageindex=" + page;
    if (const auto state = stateOfSection(currentSelectSectionStr_); !state.empty())
        body += "&OrderStateID=" + state;
    body += "&lastDateTime=";
    DataRequestManager::shareManger()->requestWithURLString(app->serviceURL("Order/OrderList"),
                                                            body, weakSelf<UIViewController>());
}

void OrderMiddleViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    NSLog("order:%s", describe(dictionary).c_str());
    // Only an answer with "code" answers an action: a page of the list that arrives while an
    // action waits is still a page.
    if (dictionary.is_object() && dictionary.contains("code")) {
        const std::string tip = replyText(dictionary, "tip");
        if (isSendAddress_) {
            isSendAddress_ = false;
            if (replyText(dictionary, "code") == "1") {
                isDownDragRefresh_ = false;
                doSearchLoadWithPageNum("1");
            }
            isDownDragRefresh_ = false;
        }
        if (!tip.empty()) showMessage(tip);
        return;
    }
    if (!pager_->takeListPage(dictionary)) dataArray_.clear();
    const auto list = dictionary.find("List");
    if (list != dictionary.end() && list->is_array()) {
        for (const auto& element : *list)
            dataArray_.push_back(OrderModel::createWithOrder(element));
    } else {
        NSLog("数据不存在");
    }
    isDownDragRefresh_ = false;
    refreshCurrentDataTable();
}

void OrderMiddleViewController::refreshViewBeginRefreshing(
    const std::shared_ptr<PullRefreshBaseView>&) {
    downDragRefresh();
}

void OrderMiddleViewController::downDragRefresh() {
    isDownDragRefresh_ = true;
    pager_->resetText();
    doSearchLoadWithPageNum("1");
    if (headerView_) headerView_->endRefreshing();
}

void OrderMiddleViewController::scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) {
    pager_->scrollViewWillBeginDragging();
}

void OrderMiddleViewController::scrollViewDidScroll(
    const std::shared_ptr<UIScrollView>& scrollView) {
    pager_->scrollViewDidScroll(*scrollView);
}

void OrderMiddleViewController::scrollViewDidEndDragging(
    const std::shared_ptr<UIScrollView>& scrollView, bool) {
    if (pager_->scrollViewDidEndDragging(*scrollView)) upDragRefresh();
}

void OrderMiddleViewController::upDragRefresh() {
    const bool asked = pager_->loadNextPage(
        [this](uint64_t page) { doSearchLoadWithPageNum(std::to_string(page)); });
    if (!asked) refreshCurrentDataTable();
}

void OrderMiddleViewController::bottomLoadViewStopLoading() { pager_->bottomLoadViewStopLoading(); }

void OrderMiddleViewController::refreshCurrentDataTable() {
    if (tableView_) tableView_->reloadData();
}

int OrderMiddleViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&,
                                                              int) {
    return static_cast<int>(dataArray_.size());
}

std::optional<CGFloat> OrderMiddleViewController::tableViewHeightForRowAtIndexPath(
    const std::shared_ptr<UITableView>&, const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    return row < dataArray_.size() && dataArray_[row]->hasActions() ? kActionRowHeight
                                                                    : kPlainRowHeight;
}

int64_t OrderMiddleViewController::heightForRowAtIndexPath(const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    if (row >= dataArray_.size()) return 0;
    const int w =
        FactoryClass::widthOfButtonWithContentText(dataArray_[row]->titleStr(), 25, 18, true);
    const int half = static_cast<int>(view()->frame().size.width) / 2;
    return w + 20 > half ? half : w + 20;
}

std::shared_ptr<UITableViewCell> OrderMiddleViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    const CGRect frame = CGRectMake(0, 0, view()->frame().size.width,
                                    *tableViewHeightForRowAtIndexPath(tableView, indexPath));
    auto cell = std::dynamic_pointer_cast<OrderCell>(
        tableView->dequeueReusableCellWithIdentifier(kOrderCellIdentifier));
    if (!cell) {
        cell = OrderCell::create(UITableViewCellStyleSubtitle, kOrderCellIdentifier);
        std::weak_ptr<OrderMiddleViewController> weak = sharedSelf<OrderMiddleViewController>();
        cell->setupCellWithFrame(
            frame, weak,
            [weak](const std::shared_ptr<UIButton>& b) {
                if (auto self = weak.lock()) self->cellButtonClick_favrate(b);
            },
            [weak](const std::shared_ptr<UIButton>& b) {
                if (auto self = weak.lock()) self->cellButtonClick_offer(b);
            });
    }
    cell->updateUIConfigWith(frame, heightForRowAtIndexPath(indexPath));
    cell->updateContentWithModel(row < dataArray_.size() ? dataArray_[row].get() : nullptr,
                                 indexPath.row);
    return cell;
}

void OrderMiddleViewController::tableViewDidSelectRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    tableView->deselectRowAtIndexPath(indexPath, false);
    const auto row = static_cast<size_t>(indexPath.row);
    const auto navigation = navigationController();
    if (row >= dataArray_.size() || !navigation) return;
    auto detail = OrderInfoViewController::create(weakSelf<UIViewController>());
    detail->setAskPriceIDStr(dataArray_[row]->askPriceIDStr());
    detail->setOrderIDStr(dataArray_[row]->orderIDStr());
    NSLog("%s   %s", dataArray_[row]->askPriceIDStr().c_str(),
          dataArray_[row]->orderIDStr().c_str());
    navigation->pushViewController(detail, true);
}

std::shared_ptr<OrderModel> OrderMiddleViewController::rowForButton(
    const std::shared_ptr<UIButton>& button) const {
    if (!button || button->tag() < 0 || static_cast<size_t>(button->tag()) >= dataArray_.size())
        return nullptr;
    return dataArray_[static_cast<size_t>(button->tag())];
}

void OrderMiddleViewController::cellButtonClick_offer(const std::shared_ptr<UIButton>& sender) {
    const auto order = rowForButton(sender);
    if (!order) return;
    std::weak_ptr<OrderMiddleViewController> weak = sharedSelf<OrderMiddleViewController>();
    const int state = order->orderState();
    if (const auto move = orderStateMove(state)) {
        auto popup = Pop_upWindow::create(view()->frame(), 2, std::nullopt, move->confirmation,
                                          sharedSelf<UIViewController>());
        PendingMove pending{order->orderIDStr(), state};
        popup->getAttribute([weak, pending](const std::optional<std::string>&,
                                            const std::optional<std::string>&, bool confirmed) {
            auto self = weak.lock();
            if (!self || !confirmed) return;
            self->isSendAddress_ = true;
            self->pendingMove_ = pending;
            self->getAddress();
        });
        presentPopup(popup);
        return;
    }
    if (state != OrderStateOther) return;
    auto popup = Pop_upWindow::create(view()->frame(), 3, std::nullopt, "补偿金额", "补偿原因",
                                      "请在此输入赔偿金额", "请在此输入原因/理由",
                                      sharedSelf<UIViewController>());
    const std::string orderID = order->orderIDStr();
    popup->getAttribute([weak, orderID](const std::optional<std::string>& amount,
                                        const std::optional<std::string>& reason, bool confirmed) {
        auto self = weak.lock();
        if (!self || !confirmed) return;
        self->isSendAddress_ = true;
        self->sendAction(kCancelServicePath, engineerBody() + "&orderID=" + formValue(orderID) +
                                                 "&refundPrice=" + formValue(amount.value_or("")) +
                                                 "&reason=" + formValue(reason.value_or("")));
    });
    presentPopup(popup);
}

void OrderMiddleViewController::cellButtonClick_favrate(const std::shared_ptr<UIButton>& sender) {
    const auto order = rowForButton(sender);
    if (!order) return;
    auto popup = Pop_upWindow::create(view()->frame(), 2, std::nullopt, "确认取消吗",
                                      sharedSelf<UIViewController>());
    std::weak_ptr<OrderMiddleViewController> weak = sharedSelf<OrderMiddleViewController>();
    const std::string orderID = order->orderIDStr();
    popup->getAttribute([weak, orderID](const std::optional<std::string>&,
                                        const std::optional<std::string>&, bool confirmed) {
        auto self = weak.lock();
        if (!self || !confirmed) return;
        self->isSendAddress_ = true;
        self->sendAction(kCancelServicePath, engineerBody() + "&orderID=" + formValue(orderID));
    });
    presentPopup(popup);
}

void OrderMiddleViewController::presentPopup(const std::shared_ptr<UIView>& popup) {
    const auto navigation = navigationController();
    const auto host = navigation ? navigation->view() : FactoryClass::window();
    host->addSubview(popup);
    if (auto window = std::dynamic_pointer_cast<Pop_upWindow>(popup))
        window->showSubStationMainView();
}

void OrderMiddleViewController::sendAction(const std::string& path, const std::string& body) {
    const auto app = BrisfoldAppDelegate::getApp();
    DataRequestManager::shareManger()->requestWithURLString(app->serviceURL(path), body,
                                                            weakSelf<UIViewController>());
}

void OrderMiddleViewController::getAddress() { initMapView(); }

// A new lookup replaces any earlier one, whose answer then goes nowhere.
void OrderMiddleViewController::initMapView() {
    std::weak_ptr<OrderMiddleViewController> weak = sharedSelf<OrderMiddleViewController>();
    lookup_ = PositionLookup::create(
        [weak](const std::string& address) {
            auto self = weak.lock();
            if (!self) return;
            self->getAddressFromMap(address);
            self->lookup_.reset();
        },
        [weak] {
            auto self = weak.lock();
            if (!self) return;
            self->isSendAddress_ = false;
            self->pendingMove_.reset();
            self->lookup_.reset();
            self->showMessage(PositionLookup::kFailureMessage);
        });
    lookup_->initMapView(view()->bounds());
    initSearch();
}

void OrderMiddleViewController::initSearch() {
    if (lookup_) lookup_->initSearch();
}

void OrderMiddleViewController::getAddressFromMap(const std::string& address) {
    if (!pendingMove_) return;
    const PendingMove pending = *pendingMove_;
    pendingMove_.reset();
    const auto move = orderStateMove(pending.state);
    if (!move) return;
    sendAction(move->path, engineerBody() + "&OrderID=" + formValue(pending.orderID) +
                               "&LeaveAddress=" + formValue(address));
}

void OrderMiddleViewController::showMessage(const std::string& message) {
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), message, 1,
                                                sharedSelf<NSObject>())
        ->addAlertView();
}

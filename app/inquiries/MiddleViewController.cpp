#include "inquiries/MiddleViewController.h"

#include <utility>

#include "Foundation/NSRunLoop.h"
#include "UIKit/UINavigationController.h"
#include "inquiries/HomeCell.h"
#include "inquiries/HomeInfoViewController.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/Pop_upWindow.h"
#include "inquiries/TravelViewController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"

namespace {

constexpr const char* kHomeCellIdentifier = "homeCell";

}  // namespace

std::shared_ptr<MiddleViewController> MiddleViewController::create(
    std::weak_ptr<UIViewController> superClass) {
    return std::shared_ptr<MiddleViewController>(new MiddleViewController(std::move(superClass)));
}

void MiddleViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::clearColor());
}

void MiddleViewController::viewWillAppear(bool) {
    if (isFirstLoad_) {
        isFirstLoad_ = false;
        std::weak_ptr<MiddleViewController> weak = sharedSelf<MiddleViewController>();
        NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
            auto self = weak.lock();
            if (!self) return;
            self->setupUIConfig();
            self->firstLoad();
        });
        return;
    }
    if (BrisfoldAppDelegate::getApp()->dataBaseUpdate() && !dataArray_.empty()) {
        const auto favorites = inquiry::storedFavorites();
        for (const auto& row : dataArray_) {
            row->setHaveFavorite("0");
            for (const auto& f : favorites)
                if (f->askPriceIDStr() == row->askPriceIDStr()) row->setHaveFavorite("1");
        }
        refreshCurrentDataTable();
    }
    updateUIConfig();
}

// The container keeps the shared bars above and below this screen's view, so the table fills it.
void MiddleViewController::setupUIConfig() {
    if (tableView_) return;
    const CGRect b = view()->bounds();
    tableView_ = UITableView::create(tableFrame(), UITableViewStylePlain);
    tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight |
                                    UIViewAutoresizingFlexibleWidth);
    tableView_->setShowsVerticalScrollIndicator(true);
    tableView_->setShowsHorizontalScrollIndicator(false);
    tableView_->setBackgroundColor(UIColor::colorWithRed(229.0 / 255, 229.0 / 255, 229.0 / 255, 1));
    tableView_->setSeparatorColor(UIColor::clearColor());
    const auto self = sharedSelf<MiddleViewController>();
    tableView_->setDelegate(std::weak_ptr<UITableViewDelegate>(self));
    tableView_->setDataSource(std::weak_ptr<UITableViewDataSource>(self));

    headerView_ = PullRefreshHeaderView::header();
    headerView_->setScrollView(tableView_);
    headerView_->setDelegate(std::weak_ptr<PullRefreshBaseViewDelegate>(self));

    const CGFloat w = b.size.width;
    pager_->attach(*tableView_, w);
    view()->addSubview(tableView_);
}

void MiddleViewController::updateUIConfig() {
    if (tableView_) tableView_->setFrame(tableFrame());
}

void MiddleViewController::doRefresh() { doSearchLoadWithPageNum("1"); }

void MiddleViewController::doSearchLoadWithPageNum(const std::string& page) {
    const auto app = BrisfoldAppDelegate::getApp();
    // Before anyone signed in there is no list to ask for; signing in refreshes the screen.
    if (app->APPUserID().empty()) return;
    const std::string body = "brisfoldID=" + formValue(app->APPUserID()) +
                             "&IsOffer=0&rows=10&pageindex=" + page + "&lastDateTime=";
    if (page == "1" && isDownDragRefresh_ && dataArray_.empty()) isDownDragRefresh_ = false;
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/AskPriceList"), body, weakSelf<UIViewController>());
}

void MiddleViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    if (!replyText(dictionary, "code").empty()) {
        if (replyText(dictionary, "code") == "1") {
            isDownDragRefresh_ = false;
            doSearchLoadWithPageNum("1");
        }
        if (const auto tip = replyText(dictionary, "tip"); !tip.empty()) showMessage(tip);
        isDownDragRefresh_ = false;
        return;
    }
    takeListPage(dictionary);
}

bool MiddleViewController::takeListPage(const nlohmann::json& dictionary) {
    if (!pager_->takeListPage(dictionary)) dataArray_.clear();
    const auto list = dictionary.find("List");
    const bool listed = list != dictionary.end() && list->is_array();
    if (listed) {
        const auto favorites = inquiry::storedFavorites();
        for (const auto& element : *list) {
            auto row = HomeModel::createWithInquiry(element, rowOrigin());
            markFavorite(*row, favorites);
            dataArray_.push_back(std::move(row));
        }
    }
    isDownDragRefresh_ = false;
    refreshCurrentDataTable();
    return listed;
}

void MiddleViewController::refreshViewBeginRefreshing(const std::shared_ptr<PullRefreshBaseView>&) {
    downDragRefresh();
}

void MiddleViewController::downDragRefresh() {
    isDownDragRefresh_ = true;
    if (pullDownResetsFooter()) pager_->resetText();
    doSearchLoadWithPageNum("1");
    if (headerView_) headerView_->endRefreshing();
}

void MiddleViewController::scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) {
    pager_->scrollViewWillBeginDragging();
}

void MiddleViewController::scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) {
    pager_->scrollViewDidScroll(*scrollView);
}

void MiddleViewController::scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>& scrollView,
                                                    bool) {
    if (pager_->scrollViewDidEndDragging(*scrollView)) upDragRefresh();
}

void MiddleViewController::upDragRefresh() {
    const bool asked = pager_->loadNextPage(
        [this](uint64_t page) { doSearchLoadWithPageNum(std::to_string(page)); });
    if (!asked) refreshCurrentDataTable();
}

void MiddleViewController::bottomLoadViewStopLoading() { pager_->bottomLoadViewStopLoading(); }

void MiddleViewController::refreshCurrentDataTable() {
    if (tableView_) tableView_->reloadData();
}

int MiddleViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int) {
    return static_cast<int>(dataArray_.size());
}

std::shared_ptr<UITableViewCell> MiddleViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    auto cell = std::dynamic_pointer_cast<HomeCell>(
        tableView->dequeueReusableCellWithIdentifier(kHomeCellIdentifier));
    if (!cell) {
        cell = HomeCell::create(UITableViewCellStyleSubtitle, kHomeCellIdentifier);
        std::weak_ptr<MiddleViewController> weak = sharedSelf<MiddleViewController>();
        cell->setupCellWithFrame(
            CGRectMake(0, 0, view()->bounds().size.width, kRowHeight), weak,
            [weak](const std::shared_ptr<UIButton>& b) {
                if (auto self = weak.lock()) self->cellButtonClick_favrate(b);
            },
            [weak](const std::shared_ptr<UIButton>& b) {
                if (auto self = weak.lock()) self->cellButtonClick_offer(b);
            });
    }
    const auto row = static_cast<size_t>(indexPath.row);
    cell->updateContentWithModel(row < dataArray_.size() ? dataArray_[row].get() : nullptr,
                                 indexPath.row);
    return cell;
}

std::shared_ptr<HomeModel> MiddleViewController::rowForButton(
    const std::shared_ptr<UIButton>& button) const {
    if (!button || button->tag() < 0 || static_cast<size_t>(button->tag()) >= dataArray_.size())
        return nullptr;
    return dataArray_[static_cast<size_t>(button->tag())];
}

// The card's star says what the store holds: a change the store refused is taken back.
void MiddleViewController::cellButtonClick_favrate(const std::shared_ptr<UIButton>& sender) {
    const auto row = rowForButton(sender);
    if (!row) return;
    inquiry::toggleFavorite(*row, sharedSelf<NSObject>());
    refreshCurrentDataTable();
}

void MiddleViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    const auto navigation = navigationController();
    if (row >= dataArray_.size() || !navigation) return;
    auto detail = HomeInfoViewController::create(dataArray_[row], sharedSelf<UIViewController>());
    detail->setAskPriceID(dataArray_[row]->askPriceIDStr());
    navigation->pushViewController(detail, true);
}

void MiddleViewController::cellButtonClick_offer(const std::shared_ptr<UIButton>& sender) {
    if (const auto row = rowForButton(sender))
        setupPop_upWindowWithAskpriceID(row->askPriceIDStr(), sender);
}

void MiddleViewController::setupPop_upWindowWithAskpriceID(
    const std::string& askPriceID, const std::shared_ptr<UIButton>& button) {
    const auto row = rowForButton(button);
    if (!row || row->goodsIDStr() != kTravelExcludedGoodsID) {
        setupPop_upWindowWithAskpriceID(askPriceID);
        return;
    }
    auto question = Pop_upWindow::create(view()->frame(), 4, askPriceID, "是否需要客户提供差旅费",
                                         sharedSelf<UIViewController>());
    std::weak_ptr<MiddleViewController> weak = sharedSelf<MiddleViewController>();
    // Yes: transport and lodging are chosen with the price on the travel screen; no: the
    // amount alone.
    question->getAttribute([weak, askPriceID](const std::optional<std::string>& id,
                                              const std::optional<std::string>&, bool confirmed) {
        auto self = weak.lock();
        if (!self) return;
        if (!confirmed) {
            self->setupPop_upWindowWithAskpriceID(askPriceID);
            return;
        }
        const auto navigation = self->navigationController();
        if (!navigation) return;
        navigation->pushViewController(
            TravelViewController::create(id.value_or(""), self->sharedSelf<UIViewController>()),
            true);
    });
    inquiry::presentPopup(*this, question);
}

void MiddleViewController::setupPop_upWindowWithAskpriceID(const std::string& askPriceID) {
    auto popup = Pop_upWindow::create(view()->frame(), 1, askPriceID, amountWatermark(),
                                      sharedSelf<UIViewController>());
    std::weak_ptr<MiddleViewController> weak = sharedSelf<MiddleViewController>();
    popup->getAttribute([weak](const std::optional<std::string>& id,
                               const std::optional<std::string>& amount, bool confirmed) {
        auto self = weak.lock();
        if (self && confirmed && amount)
            self->sendOfferRequestWithContent(*amount, id.value_or(""));
    });
    inquiry::presentPopup(*this, popup);
}

void MiddleViewController::sendOfferRequestWithContent(const std::string& content,
                                                       const std::string& askpriceID) {
    const auto app = BrisfoldAppDelegate::getApp();
    const std::string body = "brisfoldID=" + formValue(app->APPUserID()) +
                             "&askpriceID=" + formValue(askpriceID) +
                             "&price=" + formValue(content);
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/EngineerPrice"), body, weakSelf<UIViewController>());
}

void MiddleViewController::showMessage(const std::string& message) {
    inquiry::toast(sharedSelf<NSObject>(), message);
}

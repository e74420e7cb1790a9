#include "inquiries/FavoritaViewController.h"

#include <algorithm>

#include "Foundation/JSONValue.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "SQLiteStore/DBManager.h"
#include "UIKit/UINavigationController.h"
#include "inquiries/HomeCell.h"
#include "inquiries/HomeInfoViewController.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/OfferCell.h"
#include "inquiries/OfferInfoViewController.h"
#include "inquiries/Pop_upWindow.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"
#include "shell/CustomNavBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"

namespace {

constexpr const char* kDidDelete = "didDeleteOneCollection";

std::string sectionTitle(const std::string& section) {
    if (section == "offer_ing") return "询价中";
    if (section == "offer_not") return "未中签";
    return "";
}

std::shared_ptr<UIButton> barButton(CGRect frame, const std::string& title, UIColorRef colour) {
    auto b = UIButton::buttonWithType(UIButtonTypeCustom);
    b->setFrame(frame);
    b->setBackgroundColor(UIColor::clearColor());
    b->setTitle(title, UIControlStateNormal);
    b->setTitleColor(std::move(colour), UIControlStateNormal);
    return b;
}

}  // namespace

std::shared_ptr<FavoritaViewController> FavoritaViewController::create() {
    auto screen = std::shared_ptr<FavoritaViewController>(new FavoritaViewController());
    screen->setHidesBottomBarWhenPushed(true);
    return screen;
}

// The centre keeps the screen weakly: a screen that has gone hears nothing more.
void FavoritaViewController::viewDidLoad() {
    NSNotificationCenter::defaultCenter()->addObserver<FavoritaViewController>(
        sharedSelf<FavoritaViewController>(), kDidDelete, nullptr,
        [](FavoritaViewController& self, const NSNotification& n) { self.didDeleteCollect(n); });
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::whiteColor());
    std::weak_ptr<FavoritaViewController> weak = sharedSelf<FavoritaViewController>();
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        if (auto self = weak.lock()) self->setupUIConfig();
    });
    updateDataSource();
}

void FavoritaViewController::viewWillAppear(bool) {
    std::weak_ptr<FavoritaViewController> weak = sharedSelf<FavoritaViewController>();
    inquiry::setupDetailNavBar(*this, "我的收藏", true, "",
                               [weak](const std::shared_ptr<UIView>& sender) {
                                   if (auto self = weak.lock()) self->navBarButtonClick(sender);
                               });
    if (const auto& edit = CustomNavBar::shareManager()->rightButton()) {
        edit->setImage(nullptr, UIControlStateNormal);
        edit->setTitle("编辑", UIControlStateNormal);
        edit->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
    }
}

void FavoritaViewController::viewWillDisappear(bool) { FactoryClass::removeBarWithClass(*this); }

void FavoritaViewController::navBarButtonClick(const std::shared_ptr<UIView>& sender) {
    if (!sender) return;
    if (sender->tag() == 0) backButtonClick();
    if (sender->tag() == 1) edtingButtonClick();
}

void FavoritaViewController::backButtonClick() { inquiry::popScreen(*this); }

void FavoritaViewController::updateDataSource() {
    dataArray_ = inquiry::storedFavorites();
    if (tableView_) tableView_->reloadData();
}

void FavoritaViewController::setupUIConfig() {
    if (tableView_) return;
    const CGSize size = view()->bounds().size;
    const CGFloat top = CustomNavBar::kHeight;
    tableView_ = UITableView::create(CGRectMake(0, top, size.width, size.height - top - kBarHeight),
                                     UITableViewStylePlain);
    const auto self = sharedSelf<FavoritaViewController>();
    tableView_->setDelegate(std::weak_ptr<UITableViewDelegate>(self));
    tableView_->setDataSource(std::weak_ptr<UITableViewDataSource>(self));
    tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
    tableView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    tableView_->setShowsVerticalScrollIndicator(true);
    tableView_->setShowsHorizontalScrollIndicator(false);
    tableView_->setBackgroundColor(UIColor::colorWithRed(229.0 / 255, 229.0 / 255, 229.0 / 255, 1));
    tableView_->setAllowsMultipleSelectionDuringEditing(true);
    view()->addSubview(tableView_);

    botView_ = UIView::create(CGRectMake(0, size.height - kBarHeight, size.width, kBarHeight));
    botView_->setBackgroundColor(UIColor::whiteColor());
    botView_->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin);
    deleteAll_ =
        barButton(CGRectMake(10, 15, 80, kBarHeight - 30), "全部删除", UIColor::redColor());
    delete_part_ = barButton(CGRectMake(size.width - 50, 15, 40, kBarHeight - 30), "删除",
                             UIColor::lightGrayColor());
    std::weak_ptr<FavoritaViewController> weak = self;
    sendActionOnTap(deleteAll_, self, [weak](const std::shared_ptr<UIButton>&) {
        if (auto s = weak.lock()) s->deleteAllButtonClick();
    });
    sendActionOnTap(delete_part_, self, [weak](const std::shared_ptr<UIButton>&) {
        if (auto s = weak.lock()) s->deletePartButtonClick();
    });
    botView_->addSubview(deleteAll_);
    botView_->addSubview(delete_part_);
    view()->addSubview(botView_);
    botView_->setHidden(true);
}

void FavoritaViewController::markChanged() {
    if (const auto app = BrisfoldAppDelegate::getApp()) app->setDataBaseUpdate(true);
}

void FavoritaViewController::edtingButtonClick() {
    if (!tableView_) return;
    if (botView_->isHidden()) {
        botView_->setHidden(false);
        isEditing_ = true;
        selectArray_.clear();
        tableView_->setEditing(!tableView_->isEditing(), true);
    } else {
        botView_->setHidden(true);
        isEditing_ = false;
        tableView_->setEditing(false, true);
    }
}

void FavoritaViewController::deleteCurrentSelectCell() {
    if (selectArray_.empty()) {
        showMessage("先选择后删除");
        return;
    }
    const auto store = DBManager::shareManager();
    bool changed = false;
    for (const auto& item : selectArray_)
        changed = store->deleteDataWithUserId(item->askPriceIDStr()) || changed;
    if (changed) markChanged();
    selectArray_.clear();
    updateDataSource();
}

void FavoritaViewController::deletePartButtonClick() {
    deleteCurrentSelectCell();
    delete_part_->setTitleColor(UIColor::lightGrayColor(), UIControlStateNormal);
}

void FavoritaViewController::deleteAllButtonClick() {
    if (dataArray_.empty()) {
        showMessage("先选择后删除");
        return;
    }
    const auto store = DBManager::shareManager();
    bool changed = false;
    for (const auto& item : dataArray_)
        changed = store->deleteDataWithUserId(item->askPriceIDStr()) || changed;
    if (changed) markChanged();
    selectArray_.clear();
    updateDataSource();
    edtingButtonClick();
}

std::shared_ptr<HomeModel> FavoritaViewController::rowForButton(
    const std::shared_ptr<UIButton>& button) const {
    if (!button || button->tag() < 0 || static_cast<size_t>(button->tag()) >= dataArray_.size())
        return nullptr;
    return dataArray_[static_cast<size_t>(button->tag())];
}

void FavoritaViewController::cellButtonClick_favrate(const std::shared_ptr<UIButton>& sender) {
    const auto item = rowForButton(sender);
    if (!item) return;
    if (inquiry::toggleFavorite(*item, sharedSelf<NSObject>())) markChanged();
    updateDataSource();
}

void FavoritaViewController::cellButtonClick_offer(const std::shared_ptr<UIButton>& sender) {
    const auto item = rowForButton(sender);
    if (item && (item->sectionStr() == "offer_ing" || item->sectionStr() == "home"))
        setupPop_upWindowWithAskpriceID(item->askPriceIDStr());
}

void FavoritaViewController::setupPop_upWindowWithAskpriceID(const std::string& askPriceID) {
    auto popup = Pop_upWindow::create(view()->frame(), 1, askPriceID, "请再次填写报价金额",
                                      sharedSelf<UIViewController>());
    std::weak_ptr<FavoritaViewController> weak = sharedSelf<FavoritaViewController>();
    popup->getAttribute([weak](const std::optional<std::string>& id,
                               const std::optional<std::string>& amount, bool confirmed) {
        auto self = weak.lock();
        if (self && confirmed && amount)
            self->sendOfferRequestWithContent(*amount, id.value_or(""));
    });
    inquiry::presentPopup(*this, popup);
}

void FavoritaViewController::sendOfferRequestWithContent(const std::string& content,
                                                         const std::string& askpriceID) {
    const auto app = BrisfoldAppDelegate::getApp();
    const std::string body = "brisfoldID=" + formValue(app->APPUserID()) +
                             "&askpriceID=" + formValue(askpriceID) +
                             "&price=" + formValue(content);
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/EngineerPrice"), body, weakSelf<UIViewController>());
}

// The quotation's reply is only reported: the list of favourites does not change with it.
void FavoritaViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    if (!dictionary.is_object() || (!dictionary.contains("code") && !dictionary.contains("tip"))) {
        NSLog("favorate:%s", describe(dictionary).c_str());
        return;
    }
    NSLog(integerValue(dictionary.value("code", nlohmann::json())) == 1 ? "成功" : "失败");
    if (const std::string tip = replyText(dictionary, "tip"); !tip.empty()) showMessage(tip);
}

void FavoritaViewController::didDeleteCollect(const NSNotification& notification) {
    const std::string id = notification.userInfo.is_object()
                               ? notification.userInfo.value("askPriceID", std::string())
                               : std::string();
    const auto found = std::find_if(dataArray_.begin(), dataArray_.end(),
                                    [&](const auto& item) { return item->askPriceIDStr() == id; });
    if (found == dataArray_.end()) return;
    dataArray_.erase(found);
    if (tableView_) tableView_->reloadData();
}

int FavoritaViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&,
                                                           int) {
    return static_cast<int>(dataArray_.size());
}

std::shared_ptr<UITableViewCell> FavoritaViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    const auto item = row < dataArray_.size() ? dataArray_[row] : nullptr;
    const bool fromHome = item && item->sectionStr() == "home";
    const std::string identifier = fromHome ? "favoriteCell_home" : "favoriteCell_offer";
    auto cell = std::dynamic_pointer_cast<HomeCell>(
        tableView->dequeueReusableCellWithIdentifier(identifier));
    if (!cell) {
        cell = fromHome ? HomeCell::create(UITableViewCellStyleSubtitle, identifier)
                        : OfferCell::create(UITableViewCellStyleSubtitle, identifier);
        std::weak_ptr<FavoritaViewController> weak = sharedSelf<FavoritaViewController>();
        cell->setupCellWithFrame(
            CGRectMake(0, 0, view()->bounds().size.width, kRowHeight), weak,
            [weak](const std::shared_ptr<UIButton>& b) {
                if (auto self = weak.lock()) self->cellButtonClick_favrate(b);
            },
            [weak](const std::shared_ptr<UIButton>& b) {
                if (auto self = weak.lock()) self->cellButtonClick_offer(b);
            });
    }
    if (auto offer = std::dynamic_pointer_cast<OfferCell>(cell)) {
        offer->updateContentWithModel(item.get(), indexPath.row,
                                      item ? sectionTitle(item->sectionStr()) : "");
    } else {
        cell->updateContentWithModel(item.get(), indexPath.row);
    }
    return cell;
}

void FavoritaViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                              const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    if (row >= dataArray_.size()) return;
    const auto& item = dataArray_[row];
    if (isEditing_) {
        selectArray_.push_back(item);
        delete_part_->setTitleColor(UIColor::redColor(), UIControlStateNormal);
        return;
    }
    const auto navigation = navigationController();
    if (!navigation) return;
    if (item->sectionStr() == "home") {
        auto detail = HomeInfoViewController::create(item, sharedSelf<UIViewController>());
        detail->setAskPriceID(item->askPriceIDStr());
        navigation->pushViewController(detail, true);
        return;
    }
    auto detail = OfferInfoViewController::create(item, sharedSelf<UIViewController>());
    detail->setAskPriceIDStr(item->askPriceIDStr());
    detail->setHideOfferButon(item->sectionStr() != "offer_ing");
    navigation->pushViewController(detail, true);
}

void FavoritaViewController::tableViewDidDeselectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                const NSIndexPath& indexPath) {
    if (!isEditing_) return;
    const auto row = static_cast<size_t>(indexPath.row);
    if (row >= dataArray_.size()) return;
    const auto found =
        std::find_if(selectArray_.begin(), selectArray_.end(), [&](const auto& item) {
            return item->askPriceIDStr() == dataArray_[row]->askPriceIDStr();
        });
    if (found != selectArray_.end()) selectArray_.erase(found);
    delete_part_->setTitleColor(
        selectArray_.empty() ? UIColor::lightGrayColor() : UIColor::redColor(),
        UIControlStateNormal);
}

void FavoritaViewController::showMessage(const std::string& message) {
    inquiry::toast(sharedSelf<NSObject>(), message);
}

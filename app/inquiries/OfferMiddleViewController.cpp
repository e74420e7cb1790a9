#include "inquiries/OfferMiddleViewController.h"

#include "Foundation/JSONValue.h"
#include "Foundation/NSLog.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIViewAnimationWithBlocks.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/OfferCell.h"
#include "inquiries/OfferInfoViewController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"

namespace {

constexpr const char* kOfferCellIdentifier = "offerCell";
const std::vector<std::string> kTitles = {"询价中", "未中签"};

}  // namespace

std::shared_ptr<OfferMiddleViewController> OfferMiddleViewController::create(
    std::weak_ptr<UIViewController> superClass) {
    return std::shared_ptr<OfferMiddleViewController>(
        new OfferMiddleViewController(std::move(superClass)));
}

CGRect OfferMiddleViewController::tableFrame() {
    const CGRect b = view()->bounds();
    return CGRectMake(0, kSegmentHeight, b.size.width, b.size.height - kSegmentHeight);
}

InquiryOrigin OfferMiddleViewController::rowOrigin() const {
    return currentSelectSectionStr_ == "未中签" ? InquiryOrigin::quotationNotWon
                                                : InquiryOrigin::quotationInProgress;
}

std::string OfferMiddleViewController::isOffer() const {
    return currentSelectSectionStr_ == "未中签" ? "2" : "1";
}

void OfferMiddleViewController::setupUIConfig() {
    if (segmentBar_) return;
    totolSectionNum_ = static_cast<int>(kTitles.size());
    segmentBar_ =
        MiddleNavView::create(CGRectMake(0, 0, view()->bounds().size.width, kSegmentHeight));
    segmentBar_->layer()->setBorderWidth(0.2);
    segmentBar_->layer()->setBorderColor(UIColor::lightGrayColor()->CGColor());
    segmentBar_->setTag(kSegmentTag);
    std::weak_ptr<OfferMiddleViewController> weak = sharedSelf<OfferMiddleViewController>();
    segmentBar_->creatMiddleNavWithClass(
        sharedSelf<NSObject>(),
        [weak](const std::shared_ptr<UIButton>& b) {
            if (auto self = weak.lock()) self->middleNavClick(b);
        },
        kTitles, 0);
    view()->addSubview(segmentBar_);
    MiddleViewController::setupUIConfig();
    creatSwipeGesture(UISwipeGestureRecognizerDirectionLeft);
    creatSwipeGesture(UISwipeGestureRecognizerDirectionRight);
}

void OfferMiddleViewController::creatSwipeGesture(unsigned direction) {
    inquiry::addSwipe(*tableView(), sharedSelf<OfferMiddleViewController>(), direction);
}

void OfferMiddleViewController::doSearchLoadWithPageNum(const std::string& page) {
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app || app->APPUserID().empty()) return;
    const std::string body = "brisfoldID=" + formValue(app->APPUserID()) + "&IsOffer=" + isOffer() +
                             "&rows=10&pageindex=" + page + "&lastDateTime=";
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/AskPriceList"), body, weakSelf<UIViewController>());
}

void OfferMiddleViewController::middleNavClick(const std::shared_ptr<UIButton>& sender) {
    if (!sender || !segmentBar_) return;
    const int index = sender->tag() - MiddleNavView::kFirstTag;
    if (index < 0 || index >= totolSectionNum_) return;
    isSideslip_ = true;
    for (const auto& holder : segmentBar_->subviews()) {
        if (holder->tag() < MiddleNavView::kFirstTag || holder->subviews().empty()) continue;
        if (auto b = std::dynamic_pointer_cast<UIButton>(holder->subviews().front())) {
            b->setSelected(false);
            b->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
        }
    }
    const auto holder = sender->superview();
    for (const auto& v : segmentBar_->subviews()) {
        if (v->tag() != MiddleNavView::kUnderlineTag || !holder) continue;
        auto line = v;
        const CGRect target = holder->frame();
        UIViewAnimateWithDuration(0.2, [line, target] {
            CGRect f = line->frame();
            f.origin.x = target.origin.x;
            f.size.width = target.size.width;
            line->setFrame(f);
        });
    }
    sender->setSelected(true);
    currentSection_ = index;
    currentSelectSectionStr_ = kTitles[static_cast<size_t>(index)];
    const auto app = BrisfoldAppDelegate::getApp();
    const std::string body = "brisfoldID=" + formValue(app->APPUserID()) + "&IsOffer=" + isOffer() +
                             "&rows=10&pageindex=1";
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/AskPriceList"), body, weakSelf<UIViewController>());
}

void OfferMiddleViewController::swipAction(UISwipeGestureRecognizer& gesture) {
    inquiry::swipeBetweenTabs(gesture.direction(), [this](bool left) { swipeSlipForLeft(left); });
}

void OfferMiddleViewController::swipeSlipForLeft(bool left) {
    currentSection_ = left ? (currentSection_ + totolSectionNum_ - 1) % totolSectionNum_
                           : (currentSection_ + 1) % totolSectionNum_;
    if (!segmentBar_) return;
    const auto holder = segmentBar_->viewWithTag(MiddleNavView::kFirstTag + currentSection_);
    if (!holder || holder->subviews().empty()) return;
    middleNavClick(std::dynamic_pointer_cast<UIButton>(holder->subviews().front()));
}

// A list reply ends a tab switch; an action reply that comes while one is pending clears the
// rows of the tab left behind.
void OfferMiddleViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    NSLog("offer:%s", describe(dictionary).c_str());
    const std::string code = replyText(dictionary, "code");
    if (code.empty()) {
        isSideslip_ = false;
        if (!takeListPage(dictionary)) NSLog("数据不存在");
        return;
    }
    if (const std::string tip = replyText(dictionary, "tip"); !tip.empty()) showMessage(tip);
    if (isSideslip_) {
        isSideslip_ = false;
        rows().clear();
        refreshCurrentDataTable();
    }
    if (code == "1") {
        setDownDragRefresh(false);
        doSearchLoadWithPageNum("1");
    }
    setDownDragRefresh(false);
}

void OfferMiddleViewController::cellButtonClick_offer(const std::shared_ptr<UIButton>& sender) {
    if (const auto row = rowForButton(sender))
        setupPop_upWindowWithAskpriceID(row->askPriceIDStr());
}

std::shared_ptr<UITableViewCell> OfferMiddleViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    auto cell = std::dynamic_pointer_cast<OfferCell>(
        tableView->dequeueReusableCellWithIdentifier(kOfferCellIdentifier));
    if (!cell) {
        cell = OfferCell::create(UITableViewCellStyleSubtitle, kOfferCellIdentifier);
        std::weak_ptr<OfferMiddleViewController> weak = sharedSelf<OfferMiddleViewController>();
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
    cell->updateContentWithModel(row < dataArray().size() ? dataArray()[row].get() : nullptr,
                                 indexPath.row, currentSelectSectionStr_);
    return cell;
}

void OfferMiddleViewController::tableViewDidSelectRowAtIndexPath(
    const std::shared_ptr<UITableView>&, const NSIndexPath& indexPath) {
    const auto row = static_cast<size_t>(indexPath.row);
    const auto navigation = navigationController();
    if (row >= dataArray().size() || !navigation) return;
    auto detail = OfferInfoViewController::create(dataArray()[row], sharedSelf<UIViewController>());
    detail->setAskPriceIDStr(dataArray()[row]->askPriceIDStr());
    detail->setHideOfferButon(currentSelectSectionStr_ == "未中签");
    navigation->pushViewController(detail, true);
}

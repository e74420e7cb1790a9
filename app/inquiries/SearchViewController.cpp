#include "inquiries/SearchViewController.h"

#include "UIKit/UILabel.h"
#include "inquiries/InquiryScreenKit.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"
#include "shell/CustomNavBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"

namespace {

constexpr const char* kCaptions[] = {"行业", "厂商", "类型", "产品"};
constexpr CGFloat kCaptionWidth = 44;
constexpr CGFloat kSearchHeight = 44;
// The filter rows' tag base: a choice button's tag is the group times this plus its index.
constexpr int kTagsPerGroup = 1000;

}  // namespace

std::shared_ptr<SearchViewController> SearchViewController::create(
    std::weak_ptr<UIViewController> superClass) {
    auto screen =
        std::shared_ptr<SearchViewController>(new SearchViewController(std::move(superClass)));
    screen->setHidesBottomBarWhenPushed(true);
    return screen;
}

CGRect SearchViewController::tableFrame() {
    const CGRect b = view()->bounds();
    const CGFloat top = CustomNavBar::kHeight + kGroups * kGroupHeight + kSearchHeight + 10;
    return CGRectMake(0, top, b.size.width, b.size.height - top);
}

void SearchViewController::viewWillAppear(bool animated) {
    std::weak_ptr<SearchViewController> weak = sharedSelf<SearchViewController>();
    inquiry::setupDetailNavBar(*this, "搜索", false, "",
                               [weak](const std::shared_ptr<UIView>& sender) {
                                   if (auto self = weak.lock()) self->navBarButtonClick(sender);
                               });
    MiddleViewController::viewWillAppear(animated);
}

void SearchViewController::viewWillDisappear(bool) { FactoryClass::removeBarWithClass(*this); }

void SearchViewController::navBarButtonClick(const std::shared_ptr<UIView>& sender) {
    if (sender && sender->tag() == 0) inquiry::popScreen(*this);
}

void SearchViewController::setupUIConfig() {
    if (searchButton_) return;
    view()->setBackgroundColor(UIColor::colorWithRed(229.0 / 255, 229.0 / 255, 229.0 / 255, 1));
    const CGFloat w = view()->bounds().size.width;
    for (int g = 0; g < kGroups; ++g) {
        const CGFloat y = CustomNavBar::kHeight + g * kGroupHeight;
        auto caption = UILabel::create(CGRectMake(0, y, kCaptionWidth, kGroupHeight));
        caption->setText(kCaptions[g]);
        caption->setTextAlignment(NSTextAlignmentCenter);
        caption->setFont(UIFont::boldSystemFontOfSize(14));
        caption->setBackgroundColor(UIColor::whiteColor());
        view()->addSubview(caption);
        rows_[g] =
            UIScrollView::create(CGRectMake(kCaptionWidth, y, w - kCaptionWidth, kGroupHeight));
        rows_[g]->setBackgroundColor(UIColor::whiteColor());
        rows_[g]->setShowsHorizontalScrollIndicator(false);
        view()->addSubview(rows_[g]);
    }
    searchButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    searchButton_->setFrame(
        CGRectMake(10, CustomNavBar::kHeight + kGroups * kGroupHeight + 5, w - 20, kSearchHeight));
    searchButton_->setBackgroundColor(inquiry::accentColor());
    searchButton_->setTitle("搜 索", UIControlStateNormal);
    searchButton_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    searchButton_->layer()->setCornerRadius(5);
    std::weak_ptr<SearchViewController> weak = sharedSelf<SearchViewController>();
    sendActionOnTap(searchButton_, sharedSelf<NSObject>(),
                    [weak](const std::shared_ptr<UIButton>&) {
                        if (auto self = weak.lock()) self->searchButtonClick();
                    });
    view()->addSubview(searchButton_);
    MiddleViewController::setupUIConfig();
}

void SearchViewController::sendDictionaryRequests() {
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return;
    struct Request {
        Group group;
        const char* path;
        const char* body;
    };
    static constexpr Request kRequests[] = {
        {industry, "AskPrice/GetDictionary", "Index=SSHY"},
        {maker, "AskPrice/GetDictionary", "Index=SBCS"},
        {deviceType, "AskPrice/GetDictionary", "Index=SBLX"},
        {goods, "AskPrice/GetGoodsName", "Index=GOODSNAME"},
    };
    std::weak_ptr<SearchViewController> weak = sharedSelf<SearchViewController>();
    for (const auto& request : kRequests) {
        const Group group = request.group;
        DataRequestManager::shareManger()->requestWithURLString(
            app->serviceURL(request.path), request.body, weakSelf<UIViewController>(),
            [weak, group](const nlohmann::json& reply, bool success) {
                if (auto self = weak.lock(); self && success) self->takeChoices(group, reply);
            });
    }
}

void SearchViewController::takeChoices(Group group, const nlohmann::json& reply) {
    choices_[group].clear();
    buttons_[group].clear();
    const auto& row = rows_[group];
    if (!row) return;
    const auto old = row->subviews();
    for (const auto& v : old) v->removeFromSuperview();
    const auto list = reply.find("list");
    if (list == reply.end() || !list->is_array()) return;
    std::weak_ptr<SearchViewController> weak = sharedSelf<SearchViewController>();
    CGFloat x = 5;
    for (const auto& element : *list) {
        auto model = SearchModel::createWithElement(element);
        const CGFloat width =
            FactoryClass::widthOfButtonWithContentText(model->nameStr(), 30, 14, false) + 20;
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(x, 7, width, 30));
        button->setTag(group * kTagsPerGroup + static_cast<int>(choices_[group].size()));
        button->setTitle(model->nameStr(), UIControlStateNormal);
        button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
        button->setTitleColor(UIColor::darkGrayColor(), UIControlStateNormal);
        button->setTitleColor(UIColor::whiteColor(), UIControlStateSelected);
        button->layer()->setCornerRadius(5);
        button->layer()->setBorderWidth(0.5);
        button->layer()->setBorderColor(UIColor::lightGrayColor()->CGColor());
        sendActionOnTap(button, sharedSelf<NSObject>(), [weak](const std::shared_ptr<UIButton>& b) {
            if (auto self = weak.lock()) self->choiceButtonClick(b);
        });
        row->addSubview(button);
        x += width + 5;
        choices_[group].push_back(std::move(model));
        buttons_[group].push_back(std::move(button));
    }
    row->setContentSize(CGSizeMake(x, kGroupHeight));
}

void SearchViewController::choiceButtonClick(const std::shared_ptr<UIButton>& sender) {
    if (!sender || sender->tag() < 0) return;
    const int group = sender->tag() / kTagsPerGroup;
    const auto index = static_cast<size_t>(sender->tag() % kTagsPerGroup);
    if (group >= kGroups || index >= choices_[group].size()) return;
    const auto& choice = choices_[group][index];
    choice->setIsSelecting(!choice->isSelecting());
    sender->setSelected(choice->isSelecting());
    sender->setBackgroundColor(choice->isSelecting() ? inquiry::accentColor()
                                                     : UIColor::clearColor());
}

std::string SearchViewController::selectedIDs(Group group) const {
    std::string ids;
    for (const auto& choice : choices_[group]) {
        if (!choice->isSelecting()) continue;
        if (!ids.empty()) ids += ",";
        ids += choice->IDStr();
    }
    return ids;
}

void SearchViewController::searchButtonClick() {
    searched_ = true;
    doSearchLoadWithPageNum("1");
}

void SearchViewController::doSearchLoadWithPageNum(const std::string& page) {
    const auto app = BrisfoldAppDelegate::getApp();
    // Pulls before the first search have nothing to page.
    if (!app || app->APPUserID().empty() || !searched_) return;
    const std::string body = "brisfoldID=" + formValue(app->APPUserID()) +
                             "&IsOffer=0&rows=10&pageindex=" + page +
                             "&lastDateTime=&IndustryID=" + formValue(selectedIDs(industry)) +
                             "&FactoryID=" + formValue(selectedIDs(maker)) +
                             "&DeviceTypeID=" + formValue(selectedIDs(deviceType)) +
                             "&GoodsID=" + formValue(selectedIDs(goods));
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/AskPriceList"), body, weakSelf<UIViewController>());
}

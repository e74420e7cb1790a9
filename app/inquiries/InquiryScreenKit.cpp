#include "inquiries/InquiryScreenKit.h"

#include <cstdio>

#include "Foundation/NSLog.h"
#include "SQLiteStore/DBManager.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/ShowAlertView.h"

namespace inquiry {

UIColorRef accentColor() { return UIColor::colorWithRed(244.0 / 255, 120.0 / 255, 0, 1); }

void toast(const std::shared_ptr<NSObject>& owner, const std::string& message) {
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), message, 1, owner)
        ->addAlertView();
}

void presentPopup(UIViewController& screen, const std::shared_ptr<Pop_upWindow>& popup) {
    const auto navigation = screen.navigationController();
    const auto host = navigation ? navigation->view() : FactoryClass::window();
    host->addSubview(popup);
    popup->showSubStationMainView();
}

std::vector<std::shared_ptr<HomeModel>> storedFavorites() {
    return DBManager::shareManager()->fetchAllFavorite().value_or(
        std::vector<std::shared_ptr<HomeModel>>{});
}

bool toggleFavorite(HomeModel& record, const std::shared_ptr<NSObject>& owner) {
    const auto store = DBManager::shareManager();
    if (record.haveFavorite() == "1") {
        if (!store->deleteDataWithUserId(record.askPriceIDStr())) {
            toast(owner, "取消收藏失败");
            return false;
        }
        record.setHaveFavorite("0");
        toast(owner, "取消收藏成功");
        return true;
    }
    // The store keeps the mark with the row.
    record.setHaveFavorite("1");
    if (!store->insertDataWithModel(record)) {
        record.setHaveFavorite("0");
        toast(owner, "收藏失败");
        return false;
    }
    toast(owner, "收藏成功");
    return true;
}

std::string telURL(std::string_view number) {
    std::string url = "tel:";
    for (const unsigned char c : number) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                           (c >= 'a' && c <= 'z') || c == '+' || c == '-' || c == '.' || c == '_';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            url += escaped;
        }
    }
    return url;
}

void setupDetailNavBar(UIViewController& screen, const std::string& title, bool haveRight,
                       const std::string& rightImage, CustomNavBar::Action action) {
    const auto navBar = CustomNavBar::shareManager();
    navBar->setupNavBarHaveLeft(true, "ic_back_arrow_normal_orige", "ic_back_arrow_selected_orige",
                                haveRight, rightImage, rightImage, screen.sharedSelf<NSObject>(),
                                std::move(action), title);
    navBar->setFrame(CGRectMake(0, 0, screen.view()->bounds().size.width, CustomNavBar::kHeight));
    screen.view()->addSubview(navBar);
}

void popScreen(UIViewController& screen) {
    const auto navigation = screen.navigationController();
    if (navigation && navigation->topViewController().get() == &screen)
        navigation->popViewControllerAnimated(true);
}

void swipeBetweenTabs(unsigned direction, const std::function<void(bool left)>& swipeSlipForLeft) {
    switch (direction) {
        case UISwipeGestureRecognizerDirectionRight:
            swipeSlipForLeft(true);
            break;
        case UISwipeGestureRecognizerDirectionLeft:
            swipeSlipForLeft(false);
            break;
        case UISwipeGestureRecognizerDirectionUp:
        case UISwipeGestureRecognizerDirectionDown:
            break;
        default:
            NSLog("no swipe");
    }
}

void callPhone(const std::shared_ptr<NSObject>& owner, const std::string& number) {
    if (number.empty()) {
        toast(owner, "此人没有预留电话号码");
        return;
    }
    UIApplication::sharedApplication()->openURL(telURL(number));
}

std::shared_ptr<UIView> sectionLine(CGFloat width) {
    auto line = UIView::create(CGRectMake(0, 0, width, 1));
    line->setBackgroundColor(UIColor::colorWithRed(0.95, 0.95, 0.95, 1));
    line->setUserInteractionEnabled(false);
    return line;
}

DevicesFooter devicesFooter(CGFloat w, std::weak_ptr<NSObject> owner,
                            std::function<void(const std::shared_ptr<UIButton>&)> onTap) {
    auto footer = UIView::create(CGRectMake(0, 0, w, 40));
    footer->setBackgroundColor(UIColor::clearColor());
    auto arrow = UIButton::buttonWithType(UIButtonTypeCustom);
    arrow->setFrame(CGRectMake(0, 0, 40, 30));
    arrow->setCenter(CGPointMake(w / 2, 20));
    arrow->setBackgroundColor(UIColor::clearColor());
    arrow->setBackgroundImage(UIImage::imageNamed("ic_down_arrow_nromal.png"),
                              UIControlStateNormal);
    sendActionOnTap(arrow, std::move(owner), std::move(onTap));
    footer->addSubview(arrow);
    return {footer, arrow};
}

void requestDevicePage(const std::string& askPriceID, uint64_t page, int rows,
                       std::weak_ptr<UIViewController> receiver,
                       std::function<void(const nlohmann::json& reply, bool hasRows)> onPage) {
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return;
    const std::string body = "askpriceID=" + formValue(askPriceID) +
                             "&rows=" + std::to_string(rows) + "&pageindex=" + std::to_string(page);
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/GetDeviceList"), body, std::move(receiver),
        [onPage = std::move(onPage)](const nlohmann::json& dictionary, bool success) {
            if (!success) return;
            const auto list = dictionary.find("List");
            onPage(dictionary, list != dictionary.end() && list->is_array() && !list->empty());
        });
}

}  // namespace inquiry

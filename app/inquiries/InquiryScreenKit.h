#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSObject.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UIViewController.h"
#include "inquiries/HomeModel.h"
#include "inquiries/Pop_upWindow.h"
#include "shell/CustomNavBar.h"

// What the inquiry screens do alike.
namespace inquiry {

// The orange of the action buttons.
UIColorRef accentColor();

// The toast every screen shows: a third of the window wide, owned by the screen.
void toast(const std::shared_ptr<NSObject>& owner, const std::string& message);

// Puts the pop-up over the screen's navigation controller (the window when there is none).
void presentPopup(UIViewController& screen, const std::shared_ptr<Pop_upWindow>& popup);

// The stored favourites; none when the store cannot be read.
std::vector<std::shared_ptr<HomeModel>> storedFavorites();

// Stars or unstars the record in the store. The record's mark changes, and the success toast
// shows, only when the store took the change; otherwise a failure toast says so. True when the
// store changed.
bool toggleFavorite(HomeModel& record, const std::shared_ptr<NSObject>& owner);

// The "tel:" URL of a number, percent-encoded so that no text of the reply can change the URL.
std::string telURL(std::string_view number);

// Dials the number, or tells the engineer that none was left.
void callPhone(const std::shared_ptr<NSObject>& owner, const std::string& number);

// The thin line over each section of a detail.
std::shared_ptr<UIView> sectionLine(CGFloat width);

// The footer under a detail's devices, with the arrow that asks for their next page.
struct DevicesFooter {
    std::shared_ptr<UIView> view;
    std::shared_ptr<UIButton> arrow;
};
DevicesFooter devicesFooter(CGFloat width, std::weak_ptr<NSObject> owner,
                            std::function<void(const std::shared_ptr<UIButton>&)> onTap);

// Asks for one page of an inquiry's devices for receiver. onPage gets each reply that came, and
// whether it carried devices: a detail moves its page counter only then, so that a failed page
// is asked for again.
void requestDevicePage(const std::string& askPriceID, uint64_t page, int rows,
                       std::weak_ptr<UIViewController> receiver,
                       std::function<void(const nlohmann::json& reply, bool hasRows)> onPage);

// A detail screen's bar: the orange back arrow on the left (tag 0), optionally a right item
// (tag 1) with its image, the title; added to the screen's view.
void setupDetailNavBar(UIViewController& screen, const std::string& title, bool haveRight,
                       const std::string& rightImage, CustomNavBar::Action action);

// Pops the screen when it is the top of its navigation controller.
void popScreen(UIViewController& screen);

// Adds to the view a swipe recogniser of the direction that sends the screen's swipAction.
template <class Screen>
void addSwipe(UIView& view, const std::shared_ptr<Screen>& screen, unsigned direction) {
    auto swipe = UISwipeGestureRecognizer::create(screen, &Screen::swipAction);
    swipe->setDirection(direction);
    view.addGestureRecognizer(swipe);
}

// A swipe over a list of tabs: right moves to the tab before (swipeSlipForLeft(true)), left to
// the one after; up and down do nothing and any other direction is only logged.
void swipeBetweenTabs(unsigned direction, const std::function<void(bool left)>& swipeSlipForLeft);

}  // namespace inquiry

#include "shell/CustomTabBar.h"

#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITabBarController.h"
#include "shell/BrisfoldAppDelegate.h"

namespace {

constexpr CGFloat kBadgeSize = 18;

std::string textOf(const nlohmann::json& item, const char* key) {
    const auto found = item.find(key);
    return found != item.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::vector<TabItem> CustomTabBar::tabsFromBundle() {
    const auto path = NSBundle::mainBundle()->pathForResource("TabBar", "plist");
    if (!path) {
        NSLog("TabBar.plist is missing from the bundle");
        return {};
    }
    const auto data = NSDataWithContentsOfFile(*path);
    const auto list =
        data ? NSPropertyListSerialization::propertyListWithData(*data) : std::nullopt;
    if (!list || !list->is_array()) {
        NSLog("TabBar.plist is not a list of tabs");
        return {};
    }
    std::vector<TabItem> tabs;
    for (const auto& item : *list) {
        if (!item.is_object() || textOf(item, "name").empty()) continue;
        tabs.push_back({textOf(item, "name"), textOf(item, "title"), textOf(item, "image"),
                        textOf(item, "select_image")});
    }
    return tabs;
}

std::shared_ptr<CustomTabBar> CustomTabBar::shareManager() {
    static const std::shared_ptr<CustomTabBar> bar = [] {
        const CGRect screen = UIScreen::mainScreen()->bounds();
        return finishCreate(
            std::shared_ptr<CustomTabBar>(new CustomTabBar()),
            CGRectMake(0, screen.size.height - kHeight, screen.size.width, kHeight));
    }();
    return bar;
}

void CustomTabBar::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setTag(kTag);
    setBackgroundColor(UIColor::whiteColor());
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    auto line = UIView::create(CGRectMake(0, 0, frame.size.width, 0.5));
    line->setBackgroundColor(UIColor::colorWithRGBHex(0xcccccc));
    line->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    addSubview(line);

    tabs_ = tabsFromBundle();
    if (tabs_.empty()) return;
    const CGFloat width = frame.size.width / static_cast<CGFloat>(tabs_.size());
    std::weak_ptr<CustomTabBar> weak = sharedSelf<CustomTabBar>();
    for (size_t i = 0; i < tabs_.size(); ++i) {
        const TabItem& tab = tabs_[i];
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(width * static_cast<CGFloat>(i), 0, width, kHeight));
        button->setImage(UIImage::imageNamed(tab.image), UIControlStateNormal);
        button->setImage(UIImage::imageNamed(tab.selectImage), UIControlStateSelected);
        button->setTitle(tab.title, UIControlStateNormal);
        button->setTitleColor(UIColor::colorWithRGBHex(0x888888), UIControlStateNormal);
        button->setTitleColor(UIColor::colorWithRGBHex(0x1889ea), UIControlStateSelected);
        button->titleLabel()->setFont(UIFont::systemFontOfSize(11));
        const int index = static_cast<int>(i);
        button->addTarget(
            weak,
            [weak, index](const std::shared_ptr<UIControl>&, UIEvent*) {
                auto self = weak.lock();
                if (!self) return;
                self->setSelectedIndex(index);
                auto app = BrisfoldAppDelegate::getApp();
                if (app && app->tabBarController())
                    app->tabBarController()->setSelectedIndex(index);
            },
            UIControlEventTouchUpInside);
        addSubview(button);
        buttons_.push_back(button);
    }
    const int messages = indexOfClass("MessageViewController");
    if (messages < 0) return;
    const CGRect m = buttons_[static_cast<size_t>(messages)]->frame();
    badge_ = UILabel::create(CGRectMake(CGRectGetMidX(m) + 8, 3, kBadgeSize + 8, kBadgeSize));
    badge_->setBackgroundColor(UIColor::colorWithRGBHex(0xe5332a));
    badge_->layer()->setCornerRadius(kBadgeSize / 2);
    badge_->setClipsToBounds(true);
    badge_->setTextColor(UIColor::whiteColor());
    badge_->setFont(UIFont::systemFontOfSize(11));
    badge_->setTextAlignment(NSTextAlignmentCenter);
    badge_->setHidden(true);
    addSubview(badge_);
}

int CustomTabBar::indexOfClass(const std::string& name) const {
    for (size_t i = 0; i < tabs_.size(); ++i)
        if (tabs_[i].name == name) return static_cast<int>(i);
    return -1;
}

void CustomTabBar::setSelectedIndex(int index) {
    selected_ = index;
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setSelected(static_cast<int>(i) == index);
}

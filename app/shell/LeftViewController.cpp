#include "shell/LeftViewController.h"

#include "UIKit/UINavigationController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ViewControllerClasses.h"

namespace {

// A row of the menu: its title in white on the menu's colour, the whole width a button.
std::shared_ptr<UIButton> menuRow(const std::shared_ptr<UIView>& menu,
                                  std::weak_ptr<NSObject> target, const char* title, CGFloat y,
                                  std::function<void()> action) {
    auto row = UIButton::buttonWithType(UIButtonTypeCustom);
    row->setFrame(CGRectMake(0, y, menu->bounds().size.width, 44));
    row->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    row->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentLeft);
    row->setContentEdgeInsets(UIEdgeInsetsMake(0, 20, 0, 0));
    row->setTitle(title, UIControlStateNormal);
    row->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    row->addTarget(
        std::move(target),
        [action = std::move(action)](const std::shared_ptr<UIControl>&, UIEvent*) { action(); },
        UIControlEventTouchUpInside);
    menu->addSubview(row);
    return row;
}

}  // namespace

std::shared_ptr<LeftViewController> LeftViewController::create() {
    return std::shared_ptr<LeftViewController>(new LeftViewController());
}

void LeftViewController::loadView() {
    auto view = UIView::create(CGRectMake(0, 0, 220, 480));
    view->setBackgroundColor(UIColor::colorWithRGBHex(0x2d3238));
    picture_ = UIImageView::create(CGRectMake(20, 24, 64, 64));
    picture_->layer()->setCornerRadius(32);
    picture_->setClipsToBounds(true);
    view->addSubview(picture_);
    name_ = UILabel::create(CGRectMake(96, 32, 120, 24));
    name_->setFont(UIFont::boldSystemFontOfSize(17));
    name_->setTextColor(UIColor::whiteColor());
    view->addSubview(name_);
    number_ = UILabel::create(CGRectMake(96, 60, 120, 20));
    number_->setFont(UIFont::systemFontOfSize(13));
    number_->setTextColor(UIColor::colorWithRGBHex(0xb0b6bd));
    view->addSubview(number_);

    std::weak_ptr<LeftViewController> weak = sharedSelf<LeftViewController>();
    favourites_ = menuRow(view, weak, "我的收藏", 112, [weak] {
        if (auto self = weak.lock()) self->openFavourites();
    });
    logout_ = menuRow(view, weak, "退出登录", 156, [] {
        if (const auto app = BrisfoldAppDelegate::getApp()) app->logout();
    });
    setView(view);
    doRefresh();
}

void LeftViewController::doRefresh() {
    if (!isViewLoaded()) return;
    const auto app = BrisfoldAppDelegate::getApp();
    picture_->setImage(UIImage::imageNamed("logo_sliding_menu_user_logo"));
    pictureLoader_.reset();
    if (!app) return;
    if (const std::string url = app->photoURL(); !url.empty()) {
        std::weak_ptr<UIImageView> picture = picture_;
        pictureLoader_ = PictureLoader::load(url, [picture](const std::shared_ptr<UIImage>& image) {
            if (auto view = picture.lock()) view->setImage(image);
        });
    }
    name_->setText(app->fullName().empty() ? app->userName() : app->fullName());
    number_->setText(app->engineerNo());
}

void LeftViewController::openFavourites() {
    auto favourites = ViewControllerClasses::create("FavoritaViewController");
    // The owner's navigation controller, since the menu lives in a panel of its owner.
    auto nav = navigationController();
    if (favourites && nav) nav->pushViewController(favourites, true);
}

#include "shell/LeftViewController.h"

#include "UIKit/UINavigationController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ViewControllerClasses.h"

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

    favourites_ = UIButton::buttonWithType(UIButtonTypeCustom);
    favourites_->setFrame(CGRectMake(0, 112, 220, 44));
    favourites_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    favourites_->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentLeft);
    favourites_->setContentEdgeInsets(UIEdgeInsetsMake(0, 20, 0, 0));
    favourites_->setTitle("我的收藏", UIControlStateNormal);
    favourites_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    std::weak_ptr<LeftViewController> weak = sharedSelf<LeftViewController>();
    favourites_->addTarget(
        weak,
        [weak](const std::shared_ptr<UIControl>&, UIEvent*) {
            if (auto self = weak.lock()) self->openFavourites();
        },
        UIControlEventTouchUpInside);
    view->addSubview(favourites_);
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

#include "shell/FactoryClass.h"

#include <algorithm>

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "shell/BrisfoldAppDelegate.h"

namespace {

constexpr int kNavBarTag = 98;
constexpr int kTabBarTag = 99;

UIFontRef systemFont(int size, bool bold) {
    return bold ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size);
}

int wrappedHeight(const std::string& text, int width, const UIFontRef& font) {
    if (text.empty()) return 0;
    return static_cast<int>(NSStringBoundingSize(text, NSTextStyle{font}, width).height);
}

std::shared_ptr<UIActivityIndicatorView> spinnerOf(const UIView& overlay) {
    for (const auto& v : overlay.subviews())
        if (auto spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(v)) return spinner;
    return nullptr;
}

}  // namespace

std::shared_ptr<UIWindow> FactoryClass::window() {
    if (auto app = BrisfoldAppDelegate::getApp())
        if (app->window()) return app->window();
    return UIApplication::sharedApplication()->keyWindow();
}

const std::shared_ptr<UIControl>& FactoryClass::loadingView() {
    static const std::shared_ptr<UIControl> overlay = [] {
        auto view = UIControl::create(UIScreen::mainScreen()->bounds());
        view->setBackgroundColor(UIColor::colorWithWhite(0, 0.3));
        view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
        auto spinner = UIActivityIndicatorView::create(UIActivityIndicatorViewStyleWhiteLarge);
        spinner->setAutoresizingMask(
            UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
            UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
        view->addSubview(spinner);
        view->addTarget(
            {}, [](const std::shared_ptr<UIControl>&, UIEvent*) { deleteLoingView(); },
            UIControlEventTouchUpInside);
        return view;
    }();
    return overlay;
}

bool FactoryClass::isLoadingShown() { return loadingView()->superview() != nullptr; }

void FactoryClass::showloadingView() {
    const auto win = window();
    if (!win) return;
    const auto& overlay = loadingView();
    overlay->setFrame(win->bounds());
    win->addSubview(overlay);
    if (auto spinner = spinnerOf(*overlay)) {
        spinner->setCenter(CGPointMake(CGRectGetMidX(win->bounds()), CGRectGetMidY(win->bounds())));
        spinner->startAnimating();
    }
    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(true);
}

void FactoryClass::deleteLoingView() {
    const auto app = UIApplication::sharedApplication();
    if (!app->isNetworkActivityIndicatorVisible()) return;
    const auto& overlay = loadingView();
    if (auto spinner = spinnerOf(*overlay)) spinner->stopAnimating();
    overlay->removeFromSuperview();
    app->setNetworkActivityIndicatorVisible(false);
}

void FactoryClass::removeBarWithClass(UIViewController& screen) {
    if (!screen.isViewLoaded()) return;
    const auto subviews = screen.view()->subviews();
    for (const auto& v : subviews)
        if (v->tag() == kNavBarTag || v->tag() == kTabBarTag) v->removeFromSuperview();
}

int FactoryClass::heightOfCellWithTitleText(const std::string& title, const std::string& content,
                                            int width, int font, bool lBold, bool rBold) {
    if (title.empty() && content.empty()) return 40;
    const int fifth = width / 5;
    return std::max(wrappedHeight(title, fifth * 2 - 20, systemFont(font, lBold)),
                    wrappedHeight(content, fifth * 3 - 30, systemFont(font, rBold)));
}

int FactoryClass::widthOfButtonWithContentText(const std::string& text, int height, int font,
                                               bool bold) {
    if (text.empty()) return 0;
    const auto win = window();
    const CGFloat windowWidth =
        win ? win->bounds().size.width : UIScreen::mainScreen()->bounds().size.width;
    const CGRect r = NSStringBoundingRectWithSize(text, CGSizeMake(windowWidth - 20, height),
                                                  systemFont(font, bold));
    return static_cast<int>(r.size.width);
}

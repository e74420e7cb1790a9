#include "UITabBar.h"

#include <algorithm>

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIGraphics.h"

namespace {

// One item: its picture over its title, tinted while selected, with the badge at the
// picture's top right.
class TabBarButton : public UIControl {
  public:
    static std::shared_ptr<TabBarButton> create(std::shared_ptr<UITabBarItem> item) {
        auto b = finishCreate(std::shared_ptr<TabBarButton>(new TabBarButton()), CGRectZero);
        b->item_ = std::move(item);
        return b;
    }
    const std::shared_ptr<UITabBarItem>& item() const { return item_; }

    void drawRect(CGRect) override {
        CGContextRef c = UIGraphicsGetCurrentContext();
        const CGRect b = bounds();
        const UIImageRef& image = isSelected() ? item_->selectedImage() : item_->image();
        CGRect picture = CGRectMake(b.size.width / 2, 7, 0, 0);
        if (image) {
            const CGSize s = image->size();
            picture = CGRectMake((b.size.width - s.width) / 2, 4, s.width, s.height);
            image->drawInRect(picture);
        }
        const CGColor ink = isSelected() ? CGColorOf(tintColor()) : CGColor{0.57, 0.57, 0.57, 1};
        const NSTextStyle style{UIFont::systemFontOfSize(10), NSTextAlignmentCenter,
                                NSLineBreakByTruncatingTail, 1};
        NSStringDrawInRect(c, item_->title(), CGRectMake(0, b.size.height - 15, b.size.width, 13),
                           style, ink);
        if (!item_->badgeValue()) return;
        const NSTextStyle badgeStyle{UIFont::systemFontOfSize(13), NSTextAlignmentCenter,
                                     NSLineBreakByClipping, 1};
        const std::string& text = *item_->badgeValue();
        const CGSize t = NSStringBoundingSize(text, badgeStyle, 0);
        const CGFloat w = std::max<CGFloat>(18, t.width + 10);
        const CGRect badge = CGRectMake(CGRectGetMaxX(picture) - 6, 2, w, 18);
        CGContextSetRGBFillColor(c, 1, 0.23, 0.19, 1);
        CGContextFillEllipseInRect(c, CGRectMake(badge.origin.x, badge.origin.y, 18, 18));
        CGContextFillEllipseInRect(c,
                                   CGRectMake(CGRectGetMaxX(badge) - 18, badge.origin.y, 18, 18));
        CGContextFillRect(c, CGRectMake(badge.origin.x + 9, badge.origin.y, w - 18, 18));
        NSStringDrawInRect(c, text, CGRectMake(badge.origin.x, badge.origin.y + 1, w, 16),
                           badgeStyle, CGColor{1, 1, 1, 1});
    }

  protected:
    void stateDidChange() override { setNeedsDisplay(); }

  private:
    TabBarButton() = default;
    std::shared_ptr<UITabBarItem> item_;
};

}  // namespace

std::shared_ptr<UITabBar> UITabBar::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UITabBar>(new UITabBar()), frame);
}

void UITabBar::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBarTintColor(nullptr);
}

void UITabBar::setBarTintColor(UIColorRef color) {
    barTintColor_ = std::move(color);
    setBackgroundColor(barTintColor_ ? barTintColor_ : UIColor::colorWithWhite(0.97, 1));
}

void UITabBar::setItems(std::vector<std::shared_ptr<UITabBarItem>> items) {
    for (const auto& b : buttons_) b->removeFromSuperview();
    for (const auto& item : items_) item->setChangeHandler({});
    buttons_.clear();
    items_ = std::move(items);
    if (selected_ && std::find(items_.begin(), items_.end(), selected_) == items_.end())
        selected_.reset();
    std::weak_ptr<UITabBar> weak = weakSelf<UITabBar>();
    for (const auto& item : items_) {
        auto button = TabBarButton::create(item);
        button->setSelected(item == selected_);
        std::weak_ptr<UITabBarItem> weakItem = item;
        button->addTarget(
            {},
            [weak, weakItem](const std::shared_ptr<UIControl>&, UIEvent*) {
                auto bar = weak.lock();
                auto i = weakItem.lock();
                if (bar && i) bar->itemTapped(i);
            },
            UIControlEventTouchUpInside);
        std::weak_ptr<UIView> weakButton = button;
        item->setChangeHandler([weakButton] {
            if (auto b = weakButton.lock()) b->setNeedsDisplay();
        });
        buttons_.push_back(button);
        addSubview(button);
    }
    setNeedsLayout();
}

void UITabBar::setSelectedItem(std::shared_ptr<UITabBarItem> item) {
    if (item && std::find(items_.begin(), items_.end(), item) == items_.end()) return;
    selected_ = std::move(item);
    for (const auto& b : buttons_) {
        auto& button = static_cast<TabBarButton&>(*b);
        button.setSelected(button.item() == selected_);
    }
}

std::shared_ptr<UIView> UITabBar::buttonForItem(const UITabBarItem* item) const {
    for (const auto& b : buttons_)
        if (static_cast<TabBarButton&>(*b).item().get() == item) return b;
    return nullptr;
}

void UITabBar::itemTapped(const std::shared_ptr<UITabBarItem>& item) {
    setSelectedItem(item);
    if (auto d = delegate()) d->tabBarDidSelectItem(sharedSelf<UITabBar>(), item);
}

CGSize UITabBar::sizeThatFits(CGSize size) const { return {size.width, kHeight}; }

void UITabBar::layoutSubviews() {
    if (buttons_.empty()) return;
    const CGRect b = bounds();
    const CGFloat w = b.size.width / static_cast<CGFloat>(buttons_.size());
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setFrame(CGRectMake(static_cast<CGFloat>(i) * w, 0, w, b.size.height));
}

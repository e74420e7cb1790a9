#include "UINavigationBar.h"

#include <algorithm>

std::shared_ptr<UINavigationBar> UINavigationBar::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UINavigationBar>(new UINavigationBar()), frame);
}

void UINavigationBar::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBarTintColor(nullptr);
}

void UINavigationBar::setItems(std::vector<std::shared_ptr<UINavigationItem>> items) {
    for (const auto& item : items_) item->setChangeHandler({});
    items_ = std::move(items);
    std::weak_ptr<UINavigationBar> weak = weakSelf<UINavigationBar>();
    for (const auto& item : items_) {
        item->setChangeHandler([weak] {
            if (auto bar = weak.lock()) bar->refresh();
        });
    }
    refresh();
}

void UINavigationBar::pushNavigationItem(std::shared_ptr<UINavigationItem> item) {
    if (!item) return;
    auto items = items_;
    items.push_back(std::move(item));
    setItems(std::move(items));
}

void UINavigationBar::popNavigationItem() {
    if (items_.empty()) return;
    auto items = items_;
    items.pop_back();
    setItems(std::move(items));
}

std::shared_ptr<UINavigationItem> UINavigationBar::topItem() const {
    return items_.empty() ? nullptr : items_.back();
}

std::shared_ptr<UINavigationItem> UINavigationBar::backItem() const {
    return items_.size() < 2 ? nullptr : items_[items_.size() - 2];
}

void UINavigationBar::setTitleTextAttributes(NSTextAttributes attributes) {
    titleAttributes_ = std::move(attributes);
    refresh();
}

void UINavigationBar::setBarTintColor(UIColorRef color) {
    barTintColor_ = std::move(color);
    setBackgroundColor(barTintColor_ ? barTintColor_ : UIColor::colorWithWhite(0.97, 1));
}

CGSize UINavigationBar::sizeThatFits(CGSize size) const { return {size.width, kHeight}; }

std::shared_ptr<UIButton> UINavigationBar::makeButton(const std::string& title, UIColorRef color) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(color ? color : tintColor(), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(17));
    button->sizeToFit();
    CGRect f = button->frame();
    f.size.height = kHeight;
    button->setFrame(f);
    return button;
}

std::shared_ptr<UIView> UINavigationBar::viewForItem(const std::shared_ptr<UIBarButtonItem>& item) {
    if (!item) return nullptr;
    if (item->customView()) return item->customView();
    auto button = makeButton(item->title(), item->tintColor());
    button->setEnabled(item->isEnabled());
    std::weak_ptr<UIBarButtonItem> weak = item;
    button->addTarget(
        {},
        [weak](const std::shared_ptr<UIControl>&, UIEvent*) {
            if (auto i = weak.lock()) i->sendAction();
        },
        UIControlEventTouchUpInside);
    return button;
}

void UINavigationBar::refresh() {
    for (auto* v : {&shownTitle_, &shownLeft_, &shownRight_}) {
        if (*v && (*v)->superview().get() == this) (*v)->removeFromSuperview();
        v->reset();
    }
    auto top = topItem();
    if (!top) return;
    if (top->titleView()) {
        shownTitle_ = top->titleView();
    } else {
        auto label = UILabel::create();
        label->setText(top->title());
        label->setFont(titleAttributes_.font ? titleAttributes_.font
                                             : UIFont::boldSystemFontOfSize(17));
        label->setTextColor(titleAttributes_.foregroundColor ? titleAttributes_.foregroundColor
                                                             : UIColor::blackColor());
        label->setTextAlignment(NSTextAlignmentCenter);
        shownTitle_ = label;
    }
    shownLeft_ = viewForItem(top->leftBarButtonItem());
    if (!shownLeft_ && !top->hidesBackButton()) {
        if (auto back = backItem()) {
            auto button = makeButton(back->title().empty() ? "返回" : back->title(), nullptr);
            std::weak_ptr<UINavigationBar> weak = weakSelf<UINavigationBar>();
            button->addTarget(
                {},
                [weak](const std::shared_ptr<UIControl>&, UIEvent*) {
                    auto bar = weak.lock();
                    if (bar && bar->backAction_) bar->backAction_();
                },
                UIControlEventTouchUpInside);
            shownLeft_ = button;
        }
    }
    shownRight_ = viewForItem(top->rightBarButtonItem());
    for (const auto* v : {&shownTitle_, &shownLeft_, &shownRight_}) {
        if (*v) addSubview(*v);
    }
    setNeedsLayout();
}

void UINavigationBar::layoutSubviews() {
    const CGRect b = bounds();
    auto centreY = [&](const std::shared_ptr<UIView>& v, CGFloat x) {
        const CGSize s = v->frame().size;
        v->setFrame(CGRectMake(x, (b.size.height - s.height) / 2, s.width, s.height));
    };
    CGFloat leftEdge = kMargin, rightEdge = b.size.width - kMargin;
    if (shownLeft_) {
        centreY(shownLeft_, kMargin);
        leftEdge = CGRectGetMaxX(shownLeft_->frame()) + kMargin;
    }
    if (shownRight_) {
        centreY(shownRight_, b.size.width - kMargin - shownRight_->frame().size.width);
        rightEdge = shownRight_->frame().origin.x - kMargin;
    }
    if (!shownTitle_) return;
    // Centred on the bar, as wide as fits between the buttons on both sides.
    const CGFloat half =
        std::max<CGFloat>(0, std::min(b.size.width / 2 - leftEdge, rightEdge - b.size.width / 2));
    CGSize s = shownTitle_->frame().size;
    if (auto label = std::dynamic_pointer_cast<UILabel>(shownTitle_)) {
        s = label->sizeThatFits({});
        s.height = b.size.height;
    }
    s.width = std::min(s.width, 2 * half);
    shownTitle_->setFrame(CGRectMake(b.size.width / 2 - s.width / 2, (b.size.height - s.height) / 2,
                                     s.width, s.height));
}

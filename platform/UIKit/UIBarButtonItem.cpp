#include "UIBarButtonItem.h"

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::create(std::string title,
                                                         UIBarButtonItemStyle style,
                                                         std::weak_ptr<NSObject> target,
                                                         UIBarButtonItemAction action) {
    auto item = std::shared_ptr<UIBarButtonItem>(new UIBarButtonItem());
    item->title_ = std::move(title);
    item->style_ = style;
    item->hasTarget_ = !target.expired();
    item->target_ = std::move(target);
    item->action_ = std::move(action);
    return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::createWithCustomView(
    std::shared_ptr<UIView> view) {
    auto item = std::shared_ptr<UIBarButtonItem>(new UIBarButtonItem());
    item->customView_ = std::move(view);
    return item;
}

void UIBarButtonItem::setTitle(std::string title) {
    title_ = std::move(title);
    changed();
}

void UIBarButtonItem::setTintColor(UIColorRef color) {
    tintColor_ = std::move(color);
    changed();
}

void UIBarButtonItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    changed();
}

void UIBarButtonItem::sendAction() {
    if (!enabled_ || !action_) return;
    auto keep = target_.lock();
    if (hasTarget_ && !keep) return;
    auto self = sharedSelf<UIBarButtonItem>();
    action_(self);
}

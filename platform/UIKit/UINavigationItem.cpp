#include "UINavigationItem.h"

std::shared_ptr<UINavigationItem> UINavigationItem::create(std::string title) {
    auto item = std::shared_ptr<UINavigationItem>(new UINavigationItem());
    item->title_ = std::move(title);
    return item;
}

void UINavigationItem::setTitle(std::string title) {
    title_ = std::move(title);
    changed();
}

void UINavigationItem::setTitleView(std::shared_ptr<UIView> view) {
    titleView_ = std::move(view);
    changed();
}

void UINavigationItem::setLeftBarButtonItem(std::shared_ptr<UIBarButtonItem> item) {
    if (left_) left_->setChangeHandler({});
    left_ = std::move(item);
    if (left_) left_->setChangeHandler(changed_);
    changed();
}

void UINavigationItem::setRightBarButtonItem(std::shared_ptr<UIBarButtonItem> item) {
    if (right_) right_->setChangeHandler({});
    right_ = std::move(item);
    if (right_) right_->setChangeHandler(changed_);
    changed();
}

void UINavigationItem::setHidesBackButton(bool hides) {
    hidesBackButton_ = hides;
    changed();
}

void UINavigationItem::setChangeHandler(std::function<void()> handler) {
    changed_ = std::move(handler);
    if (left_) left_->setChangeHandler(changed_);
    if (right_) right_->setChangeHandler(changed_);
}

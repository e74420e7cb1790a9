#include "UITabBarItem.h"

std::shared_ptr<UITabBarItem> UITabBarItem::create(std::string title, UIImageRef image, int tag) {
    auto item = std::shared_ptr<UITabBarItem>(new UITabBarItem());
    item->title_ = std::move(title);
    item->image_ = std::move(image);
    item->tag_ = tag;
    return item;
}

std::shared_ptr<UITabBarItem> UITabBarItem::create(std::string title, UIImageRef image,
                                                   UIImageRef selectedImage) {
    auto item = create(std::move(title), std::move(image), 0);
    item->selectedImage_ = std::move(selectedImage);
    return item;
}

void UITabBarItem::setTitle(std::string title) {
    title_ = std::move(title);
    changed();
}

void UITabBarItem::setImage(UIImageRef image) {
    image_ = std::move(image);
    changed();
}

void UITabBarItem::setSelectedImage(UIImageRef image) {
    selectedImage_ = std::move(image);
    changed();
}

void UITabBarItem::setBadgeValue(std::optional<std::string> badge) {
    badge_ = std::move(badge);
    changed();
}

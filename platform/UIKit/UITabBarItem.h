#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Foundation/NSObject.h"
#include "UIKit/UIImage.h"

// One entry of a tab bar: title, picture (another one while selected), tag and a badge.
class UITabBarItem : public NSObject {
  public:
    static std::shared_ptr<UITabBarItem> create(std::string title, UIImageRef image, int tag);
    static std::shared_ptr<UITabBarItem> create(std::string title, UIImageRef image,
                                                UIImageRef selectedImage);

    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    const UIImageRef& image() const { return image_; }
    void setImage(UIImageRef image);
    // The image while selected; the image when there is none.
    const UIImageRef& selectedImage() const { return selectedImage_ ? selectedImage_ : image_; }
    void setSelectedImage(UIImageRef image);
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // No badge when absent; an empty text shows an empty badge.
    const std::optional<std::string>& badgeValue() const { return badge_; }
    void setBadgeValue(std::optional<std::string> badge);

    // The bar showing the item redraws through this.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  private:
    UITabBarItem() = default;
    void changed() const {
        if (changed_) changed_();
    }
    std::string title_;
    UIImageRef image_;
    UIImageRef selectedImage_;
    int tag_ = 0;
    std::optional<std::string> badge_;
    std::function<void()> changed_;
};

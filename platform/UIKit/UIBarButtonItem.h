#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Foundation/NSObject.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIView.h"

enum UIBarButtonItemStyle {
    UIBarButtonItemStylePlain = 0,
    UIBarButtonItemStyleBordered = 1,
    UIBarButtonItemStyleDone = 2,
};

class UIBarButtonItem;
using UIBarButtonItemAction = std::function<void(const std::shared_ptr<UIBarButtonItem>& sender)>;

// A button of a navigation bar: either a caller's own view, or a title that the bar shows as a
// tinted button sending the action to the target (while the target lives).
class UIBarButtonItem : public NSObject {
  public:
    static std::shared_ptr<UIBarButtonItem> create(std::string title, UIBarButtonItemStyle style,
                                                   std::weak_ptr<NSObject> target,
                                                   UIBarButtonItemAction action);
    static std::shared_ptr<UIBarButtonItem> createWithCustomView(std::shared_ptr<UIView> view);

    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    UIBarButtonItemStyle style() const { return style_; }
    const std::shared_ptr<UIView>& customView() const { return customView_; }
    // Absent: the bar's tint.
    const UIColorRef& tintColor() const { return tintColor_; }
    void setTintColor(UIColorRef color);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    // Runs the action when enabled and the target (if one was given) still lives.
    void sendAction();

    // The bar showing the item refreshes through this.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  private:
    UIBarButtonItem() = default;
    void changed() const {
        if (changed_) changed_();
    }
    std::string title_;
    UIBarButtonItemStyle style_ = UIBarButtonItemStylePlain;
    std::shared_ptr<UIView> customView_;
    UIColorRef tintColor_;
    std::weak_ptr<NSObject> target_;
    bool hasTarget_ = false;
    UIBarButtonItemAction action_;
    bool enabled_ = true;
    int tag_ = 0;
    std::function<void()> changed_;
};

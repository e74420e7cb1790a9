#pragma once

#include <functional>
#include <memory>

#include "UIKit/UIButton.h"

// A tap (touch up inside) on the button sends the action while the target lives; the target is
// kept weakly, as a control keeps its targets.
inline void sendActionOnTap(const std::shared_ptr<UIButton>& button, std::weak_ptr<NSObject> target,
                            std::function<void(const std::shared_ptr<UIButton>&)> action) {
    button->addTarget(
        target,
        [target, action = std::move(action)](const std::shared_ptr<UIControl>& sender, UIEvent*) {
            if (action && !target.expired()) action(std::static_pointer_cast<UIButton>(sender));
        },
        UIControlEventTouchUpInside);
}

#pragma once

#include <functional>
#include <memory>
#include <string>

#include "UIKit/UIViewController.h"

// Screens made by class name, as the tab list and the containers name them. A screen that takes
// the screen it belongs to gets it as superClass.
class ViewControllerClasses {
  public:
    using Factory = std::function<std::shared_ptr<UIViewController>(
        const std::shared_ptr<UIViewController>& superClass)>;

    static void registerClass(const std::string& name, Factory factory);
    // Null when no screen of that name is known.
    static std::shared_ptr<UIViewController> create(
        const std::string& name, const std::shared_ptr<UIViewController>& superClass = nullptr);
};

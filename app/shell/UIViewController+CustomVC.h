#pragma once

#include <nlohmann/json.hpp>

#include "UIKit/UIViewController.h"

// What every screen hears from the request layer and from the screens it opened. A screen that
// cares derives from CustomVC as well as from its controller class and overrides what it needs.
class CustomVC {
  public:
    virtual ~CustomVC() = default;
    // A parsed reply of a request the screen sent without a block.
    virtual void updateDataWithDictionary(const nlohmann::json& /*dictionary*/) {}
    // List screens reload their first page; a detail screen sends it to its opener after an
    // action went through.
    virtual void doRefresh() {}
};

// Any controller takes both: one that is no CustomVC ignores them.
void updateDataWithDictionary(UIViewController& controller, const nlohmann::json& dictionary);
void doRefresh(UIViewController& controller);

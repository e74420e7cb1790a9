#include "shell/UIViewController+CustomVC.h"

void updateDataWithDictionary(UIViewController& controller, const nlohmann::json& dictionary) {
    if (auto* screen = dynamic_cast<CustomVC*>(&controller))
        screen->updateDataWithDictionary(dictionary);
}

void doRefresh(UIViewController& controller) {
    if (auto* screen = dynamic_cast<CustomVC*>(&controller)) screen->doRefresh();
}

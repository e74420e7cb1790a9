#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "Foundation/NSObject.h"

// One choice of the inquiry search: an industry, device maker, device type or product.
class SearchModel : public NSObject {
  public:
    // From an element of a dictionary reply's "list"; a numeric "ID" becomes its decimal text.
    // Never selected at first.
    static std::shared_ptr<SearchModel> createWithElement(const nlohmann::json& element);

    const std::string& nameStr() const { return nameStr_; }
    const std::string& IDStr() const { return IDStr_; }
    bool isSelecting() const { return isSelecting_; }
    void setIsSelecting(bool selecting) { isSelecting_ = selecting; }

  private:
    SearchModel() = default;
    std::string nameStr_;
    std::string IDStr_;
    bool isSelecting_ = false;
};

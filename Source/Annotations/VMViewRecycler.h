#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

// A pool of annotation views kept for reuse, by reuse identifier.
class VMViewRecycler : public NSObject {
  public:
    static std::shared_ptr<VMViewRecycler> create() {
        return std::shared_ptr<VMViewRecycler>(new VMViewRecycler());
    }

  private:
    VMViewRecycler() = default;
    std::map<std::string, std::vector<std::shared_ptr<UIView>>> pool_;
};

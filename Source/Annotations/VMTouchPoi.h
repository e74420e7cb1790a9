#pragma once

#include <memory>
#include <optional>
#include <string>

#include "CoreLocation/CLLocationCoordinate2D.h"
#include "Foundation/NSObject.h"

// A point of interest of the base map under a touch: its label and where it lies.
class VMTouchPoi : public NSObject {
  public:
    // An absent name stays absent.
    static std::shared_ptr<VMTouchPoi> poiWithName(std::optional<std::string> name,
                                                   CLLocationCoordinate2D coordinate) {
        auto poi = std::shared_ptr<VMTouchPoi>(new VMTouchPoi());
        poi->setName(std::move(name));
        poi->setCoordinate(coordinate);
        return poi;
    }

    const std::optional<std::string>& name() const { return name_; }
    void setName(std::optional<std::string> name) { name_ = std::move(name); }
    CLLocationCoordinate2D coordinate() const { return coordinate_; }
    void setCoordinate(CLLocationCoordinate2D coordinate) { coordinate_ = coordinate; }

  private:
    VMTouchPoi() = default;
    std::optional<std::string> name_;
    CLLocationCoordinate2D coordinate_{};
};

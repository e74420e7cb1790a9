#pragma once

#include <optional>
#include <string>

#include "CoreLocation/CLLocationCoordinate2D.h"

// Anything placed on the map at a coordinate.
class VMAnnotation {
  public:
    virtual ~VMAnnotation() = default;
    virtual CLLocationCoordinate2D coordinate() const = 0;
    virtual std::optional<std::string> title() const { return std::nullopt; }
    virtual std::optional<std::string> subtitle() const { return std::nullopt; }
};

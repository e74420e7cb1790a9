#pragma once

#include <string>

#include "CoreLocation/CLLocationCoordinate2D.h"
#include "VMGeometry.h"

// What the map asks of anything placed on it; title and subtitle are optional.
class VMAnnotation {
  public:
    virtual ~VMAnnotation() = default;
    virtual CLLocationCoordinate2D coordinate() const = 0;
    virtual std::string title() const { return {}; }
    virtual std::string subtitle() const { return {}; }
};

// An annotation that covers an area, drawn by an overlay view.
class VMOverlay : public virtual VMAnnotation {
  public:
    virtual VMMapRect boundingMapRect() const = 0;
};

#pragma once

#include <memory>

#include "CoreGraphics/CGGeometry.h"
#include "CoreLocation/CLLocationCoordinate2D.h"
#include "Foundation/NSObject.h"

// A snapshot of the camera.
struct VMMapStatus {
    CLLocationCoordinate2D centerCoordinate{39.915085, 116.3683244};
    double zoomLevel = 0;
    double rotationDegree = 0;
    double cameraDegree = 0;
    CGPoint screenAnchor{0.5, 0.5};

    static VMMapStatus statusWithCenterCoordinate(CLLocationCoordinate2D centerCoordinate,
                                                  double zoomLevel, double rotationDegree,
                                                  double cameraDegree, CGPoint screenAnchor) {
        return {centerCoordinate, zoomLevel, rotationDegree, cameraDegree, screenAnchor};
    }
};

// The map state kept across a reload of the engine.
class MapStatus : public NSObject {
  public:
    static std::shared_ptr<MapStatus> create() {
        return std::shared_ptr<MapStatus>(new MapStatus());
    }
    long mapType = 0;
    bool showTraffic = false;
    double zoom = 0;
    CLLocationCoordinate2D centerCoordinate;
    double rotateDegree = 0;
    double cameraDegree = 0;
    bool real3DModelsDisabled = false;
    bool buildingsDisabled = false;

  private:
    MapStatus() = default;
};

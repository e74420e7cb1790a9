// Draws a map with a site's pin, its callout open, the route to it from where the user stands
// and the user's blue dot, and writes a picture of it into the file its argument names (map.png
// without one).
#include <cstdio>
#include <memory>
#include <string>

#include "Annotations/VMPinAnnotationView.h"
#include "Annotations/VMPointAnnotation.h"
#include "CoreLocation/CLLocationManager.h"
#include "CoreLocation/CLLocationSource.h"
#include "OverlaySystem/VMPolylineView.h"
#include "UIKit/UIColor.h"
#include "VMMapView/VMMapView.h"
#include "VMMapView/VMMapViewSnapshot.h"
#include "VMMapView/VMUserLocation.h"
#include "host/Host.h"

// The map asks its delegate how to draw what is added to it.
struct Screen : VMMapViewDelegate {
    std::shared_ptr<VMAnnotationView> mapViewViewForAnnotation(
        VMMapView&, const std::shared_ptr<VMAnnotation>& annotation) override {
        // The user location is an annotation too: null leaves it the map's blue dot.
        if (std::dynamic_pointer_cast<VMUserLocation>(annotation)) return nullptr;
        auto pin = VMPinAnnotationView::initWithAnnotation(annotation, "site");
        pin->setCanShowCallout(true);
        return pin;
    }
    VMOverlayViewRef mapViewViewForOverlay(VMMapView&, const VMOverlayRef& overlay) override {
        auto line =
            VMPolylineView::initWithPolyline(std::dynamic_pointer_cast<VMPolyline>(overlay));
        line->setStrokeColor(UIColor::colorWithRed(0.1, 0.45, 0.95, 1));
        line->setLineWidth(6);
        return line;
    }
};

bool drawMap(const std::string& output) {
    // The phone's screen, here without a window of its own.
    const auto host = Host::create(/*headless=*/true);
    auto map = VMMapView::create(host->window()->bounds());
    if (!map) return false;  // no OpenGL ES 1.1 context
    const auto screen = std::make_shared<Screen>();
    map->setDelegate(screen);
    host->window()->addSubview(map);
    // Headless, nothing shows the screen by itself: shown once, the map learns its size.
    host->compose();
    host->runFor(0.1);

    const CLLocationCoordinate2D start{39.8957, 116.3915}, site{39.9037, 116.4005};
    // Where the user is: here a fixed place, the route's start.
    CLLocationManager::setSource(CLLocationSource::fixed(start));
    map->setShowsUserLocation(true);
    map->zoomToLevel(15);
    map->setCenterCoordinate({39.9007, 116.3965});
    auto pin = VMPointAnnotation::create(site);
    pin->setTitle("UPS电源巡检");
    pin->setSubtitle("朝阳区建国路88号");
    map->addAnnotation(pin);
    const CLLocationCoordinate2D route[] = {start, {start.latitude, site.longitude}, site};
    map->addOverlay(VMPolyline::polylineWithCoordinates(route));
    map->selectAnnotation(pin, false);
    // The first fix comes while the run loop turns (within 5 s here); then a second of frames.
    for (int turn = 0; turn < 100 && !map->userLocation()->location(); ++turn) host->runFor(0.05);
    host->runFor(1.0);

    const auto picture = takeSnapshotInRect(*map, map->bounds());
    return picture && picture->CGImage()->writePNG(output);
}

int main(int argc, char** argv) {
    const std::string output = argc > 1 ? argv[1] : "map.png";
    if (!drawMap(output)) {
        std::fprintf(stderr, "cannot draw the map into %s\n", output.c_str());
        return 1;
    }
    return 0;
}

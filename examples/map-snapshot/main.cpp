// Draws a map with a site's pin, its callout open, and the route to it, and writes a picture of
// it: map-snapshot [PNG] (default map.png). The README shows the part between the marks.
#include <cstdio>
#include <memory>
#include <string>

#include "Annotations/VMPinAnnotationView.h"
#include "Annotations/VMPointAnnotation.h"
#include "OverlaySystem/VMPolylineView.h"
#include "UIKit/UIColor.h"
#include "VMMapView/VMMapView.h"
#include "VMMapView/VMMapViewSnapshot.h"
#include "host/Host.h"

// README: from here
// The map asks its delegate how to draw what is added to it.
struct Screen : VMMapViewDelegate {
    std::shared_ptr<VMAnnotationView> mapViewViewForAnnotation(
        VMMapView&, const std::shared_ptr<VMAnnotation>& annotation) override {
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
    map->zoomToLevel(15);
    map->setCenterCoordinate({39.9007, 116.3965});
    auto pin = VMPointAnnotation::create(site);
    pin->setTitle("UPS电源巡检");
    pin->setSubtitle("朝阳区建国路88号");
    map->addAnnotation(pin);
    const CLLocationCoordinate2D route[] = {start, {start.latitude, site.longitude}, site};
    map->addOverlay(VMPolyline::polylineWithCoordinates(route));
    map->selectAnnotation(pin, false);
    host->runFor(1.0);  // a second of frames

    const auto picture = takeSnapshotInRect(*map, map->bounds());
    return picture && picture->CGImage()->writePNG(output);
}
// README: to here

int main(int argc, char** argv) {
    const std::string output = argc > 1 ? argv[1] : "map.png";
    if (!drawMap(output)) {
        std::fprintf(stderr, "map-snapshot: cannot draw the map into %s\n", output.c_str());
        return 1;
    }
    return 0;
}

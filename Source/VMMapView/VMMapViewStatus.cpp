// The map view's pixel transforms and the conversions callers outside the kit use.
#include <cmath>

#include "UIKit/UIScreen.h"
#include "VMMapView.h"

CGAffineTransform VMMapView::pixelTransform() const {
    const CGFloat scale = UIScreen::mainScreen()->scale();
    return CGAffineTransformMakeScale(scale, scale);
}

CGAffineTransform VMMapView::level20Transform() const {
    const double s = std::exp2(20) / std::exp2(currentZoomLevel());
    return CGAffineTransformMakeScale(s, s);
}

CGPoint VMMapView::enginePointForPoint(CGPoint point) const {
    return CGPointApplyAffineTransform(point, pixelTransform());
}

CGPoint VMMapView::pointForEnginePoint(CGPoint point) const {
    const CGFloat scale = UIScreen::mainScreen()->scale();
    return {point.x / scale, point.y / scale};
}

VMMapRect VMMapView::mapRectForRect(CGRect rect, CLLocationCoordinate2D centerCoordinate,
                                    double zoom) {
    MapViewState* p = projection();
    if (!p) return {};
    const MapViewState saved = *p;
    VMBaseMapView::setCenterWithProjection(p, mapPointForCoordinate(centerCoordinate));
    baseMapView_->setZoomLevelWithProjection(p, static_cast<float>(zoom));
    mapEngineUpdateView(p);
    const CGRect b = bounds();
    const CGRect centred{
        {CGRectGetMidX(b) - rect.size.width / 2, CGRectGetMidY(b) - rect.size.height / 2},
        rect.size};
    const VMMapRect result = mapRectForRect(centred, p);
    *p = saved;
    return result;
}

double VMMapView::mapSizePerPixelInZoomScale(double zoomScale) { return std::exp2(20) / zoomScale; }

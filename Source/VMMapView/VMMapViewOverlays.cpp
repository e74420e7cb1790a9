// The map view's side of the overlay container: the drawables come from the delegate, the
// accuracy circle's from the view itself.
#include "VMCircleView.h"
#include "VMMapView.h"

VMOverlayViewRef VMMapView::createDrawableForOverlay(const VMOverlayRef& overlay) {
    const auto d = delegate();
    if (!d) return nullptr;
    auto drawable = d->mapViewViewForOverlay(*this, overlay);
    if (drawable)
        drawable->setMapView(std::static_pointer_cast<VMOverlayMapView>(weakSelf_.lock()));
    return drawable;
}

VMOverlayViewRef VMMapView::userLocationCircleViewWithCircle(const VMOverlayRef& circle) {
    auto view = VMCircleView::initWithCircle(std::dynamic_pointer_cast<VMCircle>(circle));
    view->setLineWidth(0);
    view->setFillColor(UIColor::colorWithRed(136 / 255.0, 166 / 255.0, 227 / 255.0, 0.3));
    view->setMapView(std::static_pointer_cast<VMOverlayMapView>(weakSelf_.lock()));
    return view;
}

void VMMapView::overlayContainerAddedDrawables(const std::vector<VMOverlayViewRef>& drawables) {
    if (auto d = delegate()) d->mapViewDidAddOverlayViews(*this, drawables);
}

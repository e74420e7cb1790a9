#pragma once

#include <memory>

#include "VMOverlayPathView.h"
#include "VMPolyline.h"

// Draws a polyline as a stroked line; it is never filled.
class VMPolylineView : public VMOverlayPathView {
  public:
    static std::shared_ptr<VMPolylineView> initWithPolyline(std::shared_ptr<VMPolyline> polyline);

    std::shared_ptr<VMPolyline> polyline() const;
    // Always clear.
    void setFillColor(UIColorRef color) override;
    void referenceDidChange() override;
    void glRender() override;

  private:
    VMPolylineView() = default;
};

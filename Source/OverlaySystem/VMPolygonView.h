#pragma once

#include <memory>

#include "VMOverlayPathView.h"
#include "VMPolygon.h"

// Fills a polygon by triangulation and strokes its outline when it has a line width.
class VMPolygonView : public VMOverlayPathView {
  public:
    static std::shared_ptr<VMPolygonView> initWithPolygon(std::shared_ptr<VMPolygon> polygon);

    std::shared_ptr<VMPolygon> polygon() const;
    void referenceDidChange() override;
    void glRender() override;

  private:
    VMPolygonView() = default;
};

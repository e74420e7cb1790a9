#pragma once

#include <memory>

#include "VMCircle.h"
#include "VMOverlayPathView.h"

// Fills a circle's outline as a fan about its first point and strokes it when it has a width.
class VMCircleView : public VMOverlayPathView {
  public:
    static std::shared_ptr<VMCircleView> initWithCircle(std::shared_ptr<VMCircle> circle);

    std::shared_ptr<VMCircle> circle() const;
    void referenceDidChange() override;
    void glRender() override;

  private:
    VMCircleView() = default;
};

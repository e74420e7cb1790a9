#pragma once

#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIView.h"

namespace testsupport {

// A view that logs each touch event it hears: the phase by name and as the touch tells it, the
// first touch's point and tap count, and every touch's point. Set `forwardEnded` to pass ended
// touches up the responder chain.
class TouchRecordingView : public UIView {
  public:
    static std::shared_ptr<TouchRecordingView> create(CGRect frame, bool forwardEnded = false) {
        auto v = finishCreate(std::shared_ptr<TouchRecordingView>(new TouchRecordingView()), frame);
        v->forwardEnded_ = forwardEnded;
        return v;
    }
    void touchesBegan(const UITouchSet& t, UIEvent* e) override { record("began", t, e); }
    void touchesMoved(const UITouchSet& t, UIEvent* e) override { record("moved", t, e); }
    void touchesEnded(const UITouchSet& t, UIEvent* e) override {
        record("ended", t, e);
        if (forwardEnded_) UIView::touchesEnded(t, e);
    }
    void touchesCancelled(const UITouchSet& t, UIEvent* e) override { record("cancelled", t, e); }

    std::vector<std::string> events;
    std::vector<UITouchPhase> phases;
    std::vector<CGPoint> points;
    std::vector<unsigned> tapCounts;
    std::vector<std::vector<CGPoint>> allPoints;

  private:
    void record(const char* what, const UITouchSet& touches, UIEvent*) {
        events.push_back(what);
        phases.push_back(touches.front()->phase());
        points.push_back(touches.front()->locationInView(this));
        tapCounts.push_back(touches.front()->tapCount());
        allPoints.emplace_back();
        for (const auto& t : touches) allPoints.back().push_back(t->locationInView(this));
    }
    bool forwardEnded_ = false;
};

}  // namespace testsupport

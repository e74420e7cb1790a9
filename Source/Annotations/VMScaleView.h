#pragma once

#include <array>
#include <memory>
#include <string>

#include "UIKit/UIColor.h"
#include "UIKit/UIView.h"
#include "VMScaleUnitsView.h"

// The scale bar: up to three segments of a round length in a bordered strip, under their legend.
// Its input is the ground resolution in screen points per metre.
class VMScaleView : public UIView {
  public:
    static std::shared_ptr<VMScaleView> create();

    double distanceInMeters() const { return distanceInMeters_; }
    // A resolution that is not a positive finite number shows no segment.
    void setDistanceInMeters(double pointsPerMeter);
    // The regular colours suit the standard map; the others stand out on satellite imagery.
    bool useRegularStyle() const { return useRegularStyle_; }
    void setUseRegularStyle(bool regular);
    void updateOrigin(CGPoint origin);

    double segmentLength() const { return resultSegmentLength_; }
    double segmentLengthInMeters() const { return resultSegmentLengthInMeters_; }
    int segmentNumber() const { return segmentNumber_; }
    const std::shared_ptr<UIView>& outlineView() const { return outlineView_; }
    const std::shared_ptr<VMScaleUnitsView>& unitsView() const { return unitsView_; }

  protected:
    VMScaleView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void calculateSegmentLength();
    void calculateSegmentsCount();
    void updateOutlineView();
    void updateUnitsView();
    void updateDisplayStyle();

    double distanceInMeters_ = 0;
    bool useRegularStyle_ = true;
    std::array<double, 3> magicNumbers_{5, 10, 25};
    double resultSegmentLength_ = 0;
    double resultSegmentLengthInMeters_ = 0;
    int segmentNumber_ = 0;
    UIColorRef lightSegmentColorRegular_, darkSegmentColorRegular_, borderColorRegular_;
    UIColorRef lightSegmentColorSatellite_, darkSegmentColorSatellite_, borderColorSatellite_;
    std::string metersAbbreviation_ = "米";
    std::string kilometersAbbreviation_ = "千米";
    std::shared_ptr<UIView> outlineView_;
    std::shared_ptr<VMScaleUnitsView> unitsView_;
};

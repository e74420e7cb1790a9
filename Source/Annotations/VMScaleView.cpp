#include "VMScaleView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr CGRect kInitialFrame{{0, 0}, {190, 18}};
constexpr double kMinSegmentLength = 40.0;
constexpr double kLengthBudget = 150.0;
constexpr int kMaxSegments = 3;
constexpr CGFloat kStripHeight = 6.0;
constexpr CGFloat kLegendOffset = -4.0;
constexpr CGFloat kLegendExtra = 40.0;
constexpr double kKilometreSwitch = 1001.0;
}  // namespace

std::shared_ptr<VMScaleView> VMScaleView::create() {
    return finishCreate(std::shared_ptr<VMScaleView>(new VMScaleView()), kInitialFrame);
}

void VMScaleView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    lightSegmentColorRegular_ = UIColor::whiteColor();
    darkSegmentColorRegular_ = UIColor::blackColor();
    borderColorRegular_ = UIColor::lightGrayColor();
    lightSegmentColorSatellite_ = UIColor::whiteColor();
    darkSegmentColorSatellite_ = UIColor::lightGrayColor();
    borderColorSatellite_ = UIColor::blackColor();

    const CGSize size = bounds().size;
    unitsView_ = VMScaleUnitsView::create(
        CGRectMake(kLegendOffset, 0, size.width, size.height - kStripHeight));
    unitsView_->setBackgroundColor(UIColor::clearColor());
    addSubview(unitsView_);
    outlineView_ =
        UIView::create(CGRectMake(0, size.height - kStripHeight, size.width, kStripHeight));
    outlineView_->setAlpha(0.8);
    outlineView_->setClipsToBounds(true);
    outlineView_->layer()->setBorderWidth(1.0);
    outlineView_->layer()->setBorderColor(borderColorRegular_->CGColor());
    addSubview(outlineView_);
    for (int i = 0; i < kMaxSegments; ++i) {
        auto segment = UIView::create(CGRectZero);
        segment->setBackgroundColor(i % 2 ? lightSegmentColorRegular_ : darkSegmentColorRegular_);
        outlineView_->addSubview(segment);
    }
    updateDisplayStyle();
}

void VMScaleView::setDistanceInMeters(double pointsPerMeter) {
    distanceInMeters_ = pointsPerMeter;
    calculateSegmentLength();
    calculateSegmentsCount();
    updateOutlineView();
    updateUnitsView();
}

// The first of 5, 10, 25, 50, 100, 250 ... metres that is at least 40 points long, starting
// at the power of ten the resolution suggests.
void VMScaleView::calculateSegmentLength() {
    const double d = distanceInMeters_;
    if (!std::isfinite(d) || d <= 0) {
        resultSegmentLength_ = 0;
        resultSegmentLengthInMeters_ = 0;
        return;
    }
    double length = d * magicNumbers_[0];
    if (length < kMinSegmentLength) {
        const double ratio = kMinSegmentLength / length;
        // So fine a resolution has no length worth showing, and no candidate that reaches it.
        if (!std::isfinite(ratio) || ratio > 1e300) {
            resultSegmentLength_ = 0;
            resultSegmentLengthInMeters_ = 0;
            return;
        }
        int k = 3 * static_cast<int>(std::trunc(std::log10(ratio)));
        do {
            length = d * magicNumbers_[k % 3] * std::pow(10.0, k / 3);
            ++k;
        } while (length < kMinSegmentLength);
    }
    resultSegmentLength_ = length;
    resultSegmentLengthInMeters_ = length / d;
}

void VMScaleView::calculateSegmentsCount() {
    segmentNumber_ =
        resultSegmentLength_ > 0
            ? std::min(kMaxSegments, static_cast<int>(kLengthBudget / resultSegmentLength_))
            : 0;
}

void VMScaleView::updateOutlineView() {
    const double length = resultSegmentLength_;
    CGRect strip = outlineView_->frame();
    strip.size = {length * segmentNumber_, kStripHeight};
    outlineView_->setFrame(strip);
    const auto& segments = outlineView_->subviews();
    for (size_t i = 0; i < segments.size(); ++i) {
        segments[i]->setFrame(CGRectMake(i * length, 0, length, kStripHeight));
        segments[i]->setHidden(static_cast<int>(i) >= segmentNumber_);
    }
}

void VMScaleView::updateUnitsView() {
    CGRect legend = unitsView_->frame();
    legend.size.width = resultSegmentLength_ * segmentNumber_ + kLegendExtra;
    unitsView_->setFrame(legend);
    double base = resultSegmentLengthInMeters_;
    if (base > kKilometreSwitch) {
        unitsView_->setUnitsString(kilometersAbbreviation_);
        base /= 1000.0;
    } else {
        unitsView_->setUnitsString(metersAbbreviation_);
    }
    unitsView_->setBaseLegendString(NSStringWithFormat("%f", base));
    unitsView_->setSegmentNumber(segmentNumber_);
    unitsView_->setSegmentLengthInPixels(resultSegmentLength_);
}

void VMScaleView::setUseRegularStyle(bool regular) {
    if (regular == useRegularStyle_) return;
    useRegularStyle_ = regular;
    updateDisplayStyle();
}

void VMScaleView::updateDisplayStyle() {
    const auto& dark = useRegularStyle_ ? darkSegmentColorRegular_ : darkSegmentColorSatellite_;
    const auto& light = useRegularStyle_ ? lightSegmentColorRegular_ : lightSegmentColorSatellite_;
    const auto& segments = outlineView_->subviews();
    for (size_t i = 0; i < segments.size(); ++i)
        segments[i]->setBackgroundColor(i % 2 ? light : dark);
    outlineView_->layer()->setBorderColor(
        (useRegularStyle_ ? borderColorRegular_ : borderColorSatellite_)->CGColor());
    unitsView_->setUseLightText(!useRegularStyle_);
}

void VMScaleView::updateOrigin(CGPoint origin) {
    const CGRect b = bounds();
    setCenter({origin.x + CGRectGetMidX(b), origin.y + CGRectGetMidY(b)});
}

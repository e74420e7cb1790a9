#include "VMScaleUnitsView.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "Foundation/NSLog.h"
#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"

namespace {

constexpr CGFloat kLabelShift = 4.0;
constexpr CGFloat kOutlineWidth = 1.0;
// In percent of the font size; negative means outlined and filled.
constexpr CGFloat kAttributedStrokeWidth = -10.0;
constexpr float kAttributedDrawingSinceVersion = 7.0f;
}  // namespace

std::shared_ptr<VMScaleUnitsView> VMScaleUnitsView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<VMScaleUnitsView>(new VMScaleUnitsView()), frame);
}

void VMScaleUnitsView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    normalColor_ = UIColor::darkGrayColor();
    lightColor_ = UIColor::whiteColor();
    strokeColor_ = UIColor::blackColor();
    calculateLegend();
}

std::string VMScaleUnitsView::getFormattedString(double value) {
    static const std::regex kShortest(R"(^\d+\.0*[1-9]+|^\d+)");
    const std::string text = NSStringWithFormat("%f", value);
    std::smatch match;
    return std::regex_search(text, match, kShortest) ? match.str() : text;
}

void VMScaleUnitsView::setSegmentNumber(long n) {
    if (n == segmentNumber_) return;
    segmentNumber_ = n;
    calculateLegend();
    setNeedsDisplay();
}

void VMScaleUnitsView::setSegmentLengthInPixels(double length) {
    segmentLengthInPixels_ = length;
    calculateLegend();
    setNeedsDisplay();
}

void VMScaleUnitsView::setUseLightText(bool light) {
    if (light == useLightText_) return;
    useLightText_ = light;
    setNeedsDisplay();
}

void VMScaleUnitsView::calculateLegend() {
    strings_.assign(1, "0");
    const double base = std::strtod(baseLegendString_.c_str(), nullptr);
    for (long i = 1; i <= segmentNumber_; ++i) strings_.push_back(getFormattedString(base * i));
}

void VMScaleUnitsView::drawText(CGContextRef ctx, const std::string& text, CGPoint at,
                                CGFloat outlineWidth) {
    const auto font = UIFont::boldSystemFontOfSize(fontSize_);
    if (!useLightText_) {
        NSStringDrawAtPoint(ctx, text, at, font, normalColor_->CGColor());
        return;
    }
    CGContextSaveGState(ctx);
    CGContextSetTextDrawingMode(ctx, kCGTextStroke);
    CGContextSetStrokeColorWithColor(ctx, strokeColor_->CGColor());
    CGContextSetLineWidth(ctx, outlineWidth);
    NSStringDrawAtPoint(ctx, text, at, font, strokeColor_->CGColor());
    CGContextRestoreGState(ctx);
    NSStringDrawAtPoint(ctx, text, at, font, lightColor_->CGColor());
}

void VMScaleUnitsView::drawRect(CGRect rect) {
    const float version = std::strtof(UIDevice::currentDevice()->systemVersion().c_str(), nullptr);
    if (version >= kAttributedDrawingSinceVersion)
        drawRectFor7(rect);
    else
        drawRectFor6(rect);
}

void VMScaleUnitsView::drawRectFor6(CGRect) { drawLegend(kOutlineWidth); }

void VMScaleUnitsView::drawRectFor7(CGRect) {
    drawLegend(-kAttributedStrokeWidth / 100 * fontSize_);
}

void VMScaleUnitsView::drawLegend(CGFloat outlineWidth) {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    const auto font = UIFont::boldSystemFontOfSize(fontSize_);
    CGFloat x = 0, width = 0;
    for (size_t i = 0; i < strings_.size(); ++i) {
        width = NSStringSizeWithFont(strings_[i], font).width;
        x = i * segmentLengthInPixels_ - width / 2 + kLabelShift;
        drawText(ctx, strings_[i], {x, 0}, outlineWidth);
    }
    if (withUnits_) drawText(ctx, unitsString_, {x + width + kLabelShift, 0}, outlineWidth);
}

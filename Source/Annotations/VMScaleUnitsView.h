#pragma once

#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIColor.h"
#include "UIKit/UIView.h"

// The scale bar's legend: a number over every segment boundary and the unit after the last.
class VMScaleUnitsView : public UIView {
  public:
    static std::shared_ptr<VMScaleUnitsView> create(CGRect frame);

    const std::string& baseLegendString() const { return baseLegendString_; }
    void setBaseLegendString(std::string s) { baseLegendString_ = std::move(s); }
    const std::string& unitsString() const { return unitsString_; }
    void setUnitsString(std::string s) { unitsString_ = std::move(s); }
    long segmentNumber() const { return segmentNumber_; }
    void setSegmentNumber(long n);
    double segmentLengthInPixels() const { return segmentLengthInPixels_; }
    void setSegmentLengthInPixels(double length);
    bool useLightText() const { return useLightText_; }
    void setUseLightText(bool light);
    // The labels as drawn, "0" first.
    const std::vector<std::string>& strings() const { return strings_; }

    // The shortest decimal form of a value printed with six decimals: 2.5, 5, 0.25, 1.05.
    static std::string getFormattedString(double value);

    // Systems from 7.0 on describe the outline as an attributed stroke width, older ones as the
    // context's line width; both draw the same legend.
    void drawRect(CGRect rect) override;
    void drawRectFor6(CGRect rect);
    void drawRectFor7(CGRect rect);

  protected:
    VMScaleUnitsView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void calculateLegend();
    void drawLegend(CGFloat outlineWidth);
    // Light text is outlined first so that it stands out on imagery.
    void drawText(CGContextRef ctx, const std::string& text, CGPoint at, CGFloat outlineWidth);

    std::string baseLegendString_ = "0.0";
    std::string unitsString_ = "米";
    long segmentNumber_ = 0;
    double segmentLengthInPixels_ = 0;
    bool useLightText_ = false;
    bool withUnits_ = true;
    float fontSize_ = 10.0f;
    UIColorRef normalColor_;
    UIColorRef lightColor_;
    UIColorRef strokeColor_;
    std::vector<std::string> strings_;
};

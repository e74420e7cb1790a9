#pragma once

#include <string>

#include "CoreGraphics/CGText.h"
#include "QuartzCore/CALayer.h"

inline const std::string kCAAlignmentLeft = "left";
inline const std::string kCAAlignmentCenter = "center";
inline const std::string kCAAlignmentRight = "right";
inline const std::string kCATruncationNone = "none";
inline const std::string kCATruncationEnd = "end";

// A string drawn from the top of the bounds in the pinned face.
class CATextLayer : public CALayer {
  public:
    static std::shared_ptr<CATextLayer> layer();

    const std::string& string() const { return string_; }
    void setString(std::string s);
    CGFloat fontSize() const { return font_.size; }
    void setFontSize(CGFloat size);
    bool isBold() const { return font_.bold; }
    // A font name containing "Bold" selects the bold weight.
    void setFontName(const std::string& name);
    CGColor foregroundColor() const { return colour_; }
    void setForegroundColor(CGColor c);
    const std::string& alignmentMode() const { return alignment_; }
    void setAlignmentMode(std::string mode);
    bool isWrapped() const { return wrapped_; }
    void setWrapped(bool w);
    const std::string& truncationMode() const { return truncation_; }
    void setTruncationMode(std::string mode);

  protected:
    CATextLayer() = default;
    void drawOwnContent(CGContextRef ctx, const CALayerPresentation& v) override;

  private:
    std::string string_;
    CGFontSpec font_{36, false};
    CGColor colour_{1, 1, 1, 1};
    std::string alignment_ = kCAAlignmentLeft;
    bool wrapped_ = false;
    std::string truncation_ = kCATruncationNone;
};

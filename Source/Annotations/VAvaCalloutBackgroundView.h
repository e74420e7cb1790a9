#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Foundation/NSData.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIView.h"

// The picture behind a callout: what the callout asks of any background. The arrow tip is in
// the background's own coordinates.
class VAvaCalloutBackgroundView : public UIView {
  public:
    static std::shared_ptr<VAvaCalloutBackgroundView> create(CGRect frame);

    CGPoint arrowPoint() const { return arrowPoint_; }
    virtual void setArrowPoint(CGPoint p) { arrowPoint_ = p; }
    bool highlighted() const { return highlighted_; }
    virtual void setHighlighted(bool h) { highlighted_ = h; }
    // The mask for the callout's content, clipping it to the bubble's outline.
    virtual std::shared_ptr<CALayer> contentMask() { return contentMask_.lock(); }
    void setContentMask(const std::shared_ptr<CALayer>& mask) { contentMask_ = mask; }

    // Base64 in the standard alphabet; anything outside it (line breaks, padding) is skipped.
    // Nullopt when no byte comes out.
    static std::optional<NSData> dataWithBase64EncodedString(std::string_view text);
    // A picture stored in this class as base64 text, in the variant for the main screen's
    // scale; null, with a log line, for a name it does not hold.
    static std::shared_ptr<UIImage> embeddedImageNamed(const std::string& name);
    // The callout's arrow (39 × 13 and 78 × 26 pixels): only its alpha matters.
    static const char* CalloutArrow();
    static const char* CalloutArrow2x();

  protected:
    VAvaCalloutBackgroundView() = default;

  private:
    bool highlighted_ = false;
    std::weak_ptr<CALayer> contentMask_;
    CGPoint arrowPoint_{};
};

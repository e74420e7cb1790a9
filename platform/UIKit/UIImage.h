#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIGeometry.h"

// A bitmap with a scale: its size in points is its pixel size divided by the scale.
// Resizable images keep their cap insets (in points) at their size when drawn larger and
// stretch the middle.
class UIImage : public NSObject {
  public:
    // Looks the name up in the main bundle: "name@2x.ext" first on a scale-2 screen, then
    // "name.ext"; a name without an extension tries ".png" then ".jpg". Results are cached.
    static std::shared_ptr<UIImage> imageNamed(const std::string& name);
    // The scale comes from an "@2x" suffix of the file name; on a scale-2 screen an "@2x"
    // sibling of the file is taken instead when there is one.
    static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::string& path);
    static std::shared_ptr<UIImage> imageWithData(std::span<const uint8_t> data, CGFloat scale = 1);
    static std::shared_ptr<UIImage> imageWithCGImage(CGImageRef image, CGFloat scale = 1);
    // Forgets imageNamed results (the bundle changed, or memory is short).
    static void clearNamedCache();

    CGSize size() const;
    CGFloat scale() const { return scale_; }
    const CGImageRef& CGImage() const { return image_; }

    std::shared_ptr<UIImage> stretchableImageWithLeftCapWidth(int leftCapWidth,
                                                              int topCapHeight) const;
    std::shared_ptr<UIImage> resizableImageWithCapInsets(UIEdgeInsets insets) const;
    UIEdgeInsets capInsets() const { return capInsets_; }
    bool isResizable() const { return resizable_; }
    int leftCapWidth() const { return static_cast<int>(capInsets_.left); }
    int topCapHeight() const { return static_cast<int>(capInsets_.top); }

    // Into UIGraphicsGetCurrentContext(), upright.
    void drawInRect(CGRect rect, CGFloat alpha = 1) const;
    void drawAtPoint(CGPoint point) const;

  private:
    UIImage(CGImageRef image, CGFloat scale) : image_(std::move(image)), scale_(scale) {}
    CGImageRef image_;
    CGFloat scale_;
    UIEdgeInsets capInsets_;
    bool resizable_ = false;
};

using UIImageRef = std::shared_ptr<UIImage>;

#pragma once

#include <memory>
#include <string>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

// Every font is the one pinned face (see NSStringDrawing.cpp) at a size, regular or bold, so
// text measures the same on every machine. Names only matter for their weight.
class UIFont : public NSObject {
  public:
    static std::shared_ptr<UIFont> systemFontOfSize(CGFloat size);
    static std::shared_ptr<UIFont> boldSystemFontOfSize(CGFloat size);
    // A name containing "Bold" or "Medium"/"Heavy"/"Black" gives the bold weight.
    static std::shared_ptr<UIFont> fontWithName(const std::string& name, CGFloat size);
    static CGFloat systemFontSize() { return 14; }
    static CGFloat labelFontSize() { return 17; }

    const std::string& fontName() const { return name_; }
    const std::string& familyName() const;
    CGFloat pointSize() const { return size_; }
    bool isBold() const { return bold_; }
    std::shared_ptr<UIFont> fontWithSize(CGFloat size) const;

    CGFloat ascender() const;
    CGFloat descender() const;  // negative, as on the platform
    CGFloat lineHeight() const;

  private:
    UIFont(std::string name, CGFloat size, bool bold)
        : name_(std::move(name)), size_(size), bold_(bold) {}
    std::string name_;
    CGFloat size_;
    bool bold_;
};

using UIFontRef = std::shared_ptr<UIFont>;

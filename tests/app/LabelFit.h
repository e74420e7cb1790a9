#pragma once

#include <gtest/gtest.h>

#include "UIKit/NSStringDrawing.h"
#include "UIKit/UILabel.h"

// The label's whole text shows on one line, at a readable size.
inline ::testing::AssertionResult readsWhole(const UILabel& label) {
    const UIFontRef font = label.displayedFont();
    const NSTextStyle line{font, label.textAlignment(), NSLineBreakByClipping, 1};
    const CGFloat width = NSStringBoundingSize(label.text(), line, 0).width;
    if (font->pointSize() >= 10 && width <= label.bounds().size.width)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "\"" << label.text() << "\" needs " << width << " at " << font->pointSize() << " in "
           << label.bounds().size.width;
}

#include "VAvaFrameAdditions.h"

#include <algorithm>

namespace {

CGFloat nonNegative(CGFloat v) { return std::max(0.0f, static_cast<float>(v)); }

void change(UIView& v, auto edit) {
    CGRect f = v.frame();
    edit(f);
    v.setFrame(f);
}

}  // namespace

CGPoint VAvaOrigin(const UIView& v) { return v.frame().origin; }
void VAvaSetOrigin(UIView& v, CGPoint origin) {
    change(v, [&](CGRect& f) { f.origin = origin; });
}
CGSize VAvaSize(const UIView& v) { return v.frame().size; }
void VAvaSetSize(UIView& v, CGSize size) {
    change(v, [&](CGRect& f) { f.size = size; });
}
CGFloat VAvaX(const UIView& v) { return v.frame().origin.x; }
void VAvaSetX(UIView& v, CGFloat x) {
    change(v, [&](CGRect& f) { f.origin.x = x; });
}
CGFloat VAvaY(const UIView& v) { return v.frame().origin.y; }
void VAvaSetY(UIView& v, CGFloat y) {
    change(v, [&](CGRect& f) { f.origin.y = y; });
}
CGFloat VAvaWidth(const UIView& v) { return v.frame().size.width; }
void VAvaSetWidth(UIView& v, CGFloat width) {
    change(v, [&](CGRect& f) { f.size.width = width; });
}
CGFloat VAvaHeight(const UIView& v) { return v.frame().size.height; }
void VAvaSetHeight(UIView& v, CGFloat height) {
    change(v, [&](CGRect& f) { f.size.height = height; });
}
CGFloat VAvaLeft(const UIView& v) { return v.frame().origin.x; }
void VAvaSetLeft(UIView& v, CGFloat left) {
    change(v, [&](CGRect& f) {
        f.size.width = nonNegative(CGRectGetMaxX(f) - left);
        f.origin.x = left;
    });
}
CGFloat VAvaTop(const UIView& v) { return v.frame().origin.y; }
void VAvaSetTop(UIView& v, CGFloat top) {
    change(v, [&](CGRect& f) {
        f.size.height = nonNegative(CGRectGetMaxY(f) - top);
        f.origin.y = top;
    });
}
CGFloat VAvaRight(const UIView& v) { return CGRectGetMaxX(v.frame()); }
void VAvaSetRight(UIView& v, CGFloat right) {
    change(v, [&](CGRect& f) { f.size.width = nonNegative(right - f.origin.x); });
}
CGFloat VAvaBottom(const UIView& v) { return CGRectGetMaxY(v.frame()); }
void VAvaSetBottom(UIView& v, CGFloat bottom) {
    change(v, [&](CGRect& f) { f.size.height = nonNegative(bottom - f.origin.y); });
}

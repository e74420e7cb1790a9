#pragma once

#include "UIKit/UIView.h"

// Frame accessors the callout code reads and writes throughout. The edge setters keep the
// opposite edge (left, top) or resize (right, bottom), never to a negative size.
CGPoint VAvaOrigin(const UIView& v);
void VAvaSetOrigin(UIView& v, CGPoint origin);
CGSize VAvaSize(const UIView& v);
void VAvaSetSize(UIView& v, CGSize size);
CGFloat VAvaX(const UIView& v);
void VAvaSetX(UIView& v, CGFloat x);
CGFloat VAvaY(const UIView& v);
void VAvaSetY(UIView& v, CGFloat y);
CGFloat VAvaWidth(const UIView& v);
void VAvaSetWidth(UIView& v, CGFloat width);
CGFloat VAvaHeight(const UIView& v);
void VAvaSetHeight(UIView& v, CGFloat height);
CGFloat VAvaLeft(const UIView& v);
void VAvaSetLeft(UIView& v, CGFloat left);
CGFloat VAvaTop(const UIView& v);
void VAvaSetTop(UIView& v, CGFloat top);
CGFloat VAvaRight(const UIView& v);
void VAvaSetRight(UIView& v, CGFloat right);
CGFloat VAvaBottom(const UIView& v);
void VAvaSetBottom(UIView& v, CGFloat bottom);

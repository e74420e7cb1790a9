#pragma once

#include <functional>
#include <memory>

#include "CoreGraphics/CGGeometry.h"
#include "UIKit/UIBezierPath.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIView.h"

class VMMapView;

// Pictures of a map view: the GL map read back from the renderer, the annotation views over
// it and the logo in the lower left corner, whatever part of the view is taken.

// Null when the rectangle (view coordinates) misses the view's bounds. The rectangle is cut
// to the bounds, rounded outwards to whole points and grown to hold the logo with a margin.
std::shared_ptr<UIImage> takeSnapshotInRect(VMMapView& mapView, CGRect rect,
                                            bool includeAnnotation = true);
// The next GL frame of the whole view in device pixels, clipped by the path (none for null);
// null when no frame could be drawn and read back now.
std::shared_ptr<UIImage> takeOpenGLESSnapshotWithPath(VMMapView& mapView,
                                                      std::shared_ptr<UIBezierPath> path);
// The view's layer tree in an image of the size at the main screen's scale; null for no view.
std::shared_ptr<UIImage> takeSnapshotOnView(const UIView* view, CGSize size,
                                            const UIBezierPath* path);
// The view's bounds with those of all its subviews, in the reference view's coordinates.
CGRect unionFrameForSubviews(const UIView* view, const UIView* inView);
// The part of the image inside a pixel rectangle, at the main screen's scale.
std::shared_ptr<UIImage> cutImage(const std::shared_ptr<UIImage>& image, CGRect rect);
// The rectangle grown to the minimum size and moved back inside the bounding rectangle. A
// rectangle the bounds do not contain is logged and cut to them first; a minimum larger than
// the bounds gives the bounds.
CGRect constraintRect(CGRect rect, CGRect inRect, CGSize minimumSize);
// The two images at the origin and the logo at its position, in one image of the size.
std::shared_ptr<UIImage> imageByCombiningInConstraintSize(
    CGSize size, const std::shared_ptr<UIImage>& firstImage,
    const std::shared_ptr<UIImage>& secondImage, const std::shared_ptr<UIImage>& logoImage,
    CGPoint logoPosition);
// The same with what the second function draws, at the origin, in place of a second image.
std::shared_ptr<UIImage> imageByCombiningInConstraintSize(
    CGSize size, const std::shared_ptr<UIImage>& firstImage,
    const std::function<void(CGContextRef)>& drawSecond, const std::shared_ptr<UIImage>& logoImage,
    CGPoint logoPosition);

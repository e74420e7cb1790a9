#include "VMMapViewSnapshot.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "Foundation/NSLog.h"
#include "UIKit/UIGraphicsImageRenderer.h"
#include "UIKit/UIScreen.h"
#include "VMMapView.h"

namespace {

// Points added to the logo's width and height for the smallest snapshot.
constexpr CGFloat kLogoMargin = 10;
// The logo's distance from the snapshot's left and bottom edges.
constexpr CGFloat kLogoInset = 5;

std::string rectDescription(CGRect r) {
    char text[160];
    std::snprintf(text, sizeof text, "{Height = %g; Width = %g; X = %g; Y = %g;}", r.size.height,
                  r.size.width, r.origin.x, r.origin.y);
    return text;
}

CGRect scaled(CGRect r, CGFloat s) {
    return CGRectMake(r.origin.x * s, r.origin.y * s, r.size.width * s, r.size.height * s);
}

}  // namespace

std::shared_ptr<UIImage> takeSnapshotInRect(VMMapView& mapView, CGRect rect,
                                            bool includeAnnotation) {
    const CGRect bounds = mapView.bounds();
    if (!CGRectIntersectsRect(bounds, rect)) return nullptr;
    const CGRect cut = CGRectIntegral(CGRectStandardize(CGRectIntersection(bounds, rect)));
    const UIView* logoView = mapView.logoImageView().get();
    const CGSize logo = unionFrameForSubviews(logoView, &mapView).size;
    const CGRect r = constraintRect(
        cut, bounds, CGSizeMake(logo.width + kLogoMargin, logo.height + kLogoMargin));
    const auto path = UIBezierPath::bezierPathWithRect(r);
    const CGRect pixels = scaled(r, UIScreen::mainScreen()->scale());

    const auto map = cutImage(takeOpenGLESSnapshotWithPath(mapView, path), pixels);
    if (!map) return nullptr;
    const UIView* floor = includeAnnotation ? mapView.annotationFloor().get() : nullptr;
    // The floor is drawn straight into the picture: an image of it first would be one more
    // full-screen buffer to fill and blend.
    const auto drawFloor = [&](CGContextRef c) {
        if (!floor) return;
        CGContextSaveGState(c);
        CGContextTranslateCTM(c, -r.origin.x, -r.origin.y);
        path->addClip();
        floor->layer()->renderInContext(c);
        CGContextRestoreGState(c);
    };
    const auto logoImage = takeSnapshotOnView(logoView, logo, nullptr);
    return imageByCombiningInConstraintSize(
        r.size, map, drawFloor, logoImage,
        CGPointMake(kLogoInset, r.size.height - kLogoInset - logo.height));
}

std::shared_ptr<UIImage> takeOpenGLESSnapshotWithPath(VMMapView& mapView,
                                                      std::shared_ptr<UIBezierPath> path) {
    const auto& glView = mapView.baseMapView();
    const auto renderer = glView ? glView->render() : nullptr;
    if (!renderer) return nullptr;
    // A stale picture must not pass for this frame's, nor a request outlive a frame not drawn.
    renderer->setSnapshotImage(nullptr);
    renderer->setSnapshotEnabled(true);
    renderer->setSnapshotPath(std::move(path));
    glView->drawView();
    if (renderer->snapshotEnabled()) {
        renderer->setSnapshotEnabled(false);
        renderer->setSnapshotPath(nullptr);
        return nullptr;
    }
    // Taken out of the renderer: the picture may be the presented frame itself, which the next
    // frame writes over only when nothing else holds it.
    auto image = renderer->snapshotImage();
    renderer->setSnapshotImage(nullptr);
    return image;
}

std::shared_ptr<UIImage> takeSnapshotOnView(const UIView* view, CGSize size,
                                            const UIBezierPath* path) {
    if (!view) return nullptr;
    return UIGraphicsImageRenderer(size).image([&](CGContextRef c) {
        if (path) path->addClip();
        view->layer()->renderInContext(c);
    });
}

CGRect unionFrameForSubviews(const UIView* view, const UIView* inView) {
    if (!view) return CGRectZero;
    CGRect frame = view->convertRectToView(view->bounds(), inView);
    for (const auto& subview : view->subviews())
        frame = CGRectUnion(frame, unionFrameForSubviews(subview.get(), inView));
    return frame;
}

std::shared_ptr<UIImage> cutImage(const std::shared_ptr<UIImage>& image, CGRect rect) {
    if (!image) return nullptr;
    auto part = CGImageCreateWithImageInRect(image->CGImage(), rect);
    if (!part) return nullptr;
    return UIImage::imageWithCGImage(std::move(part), UIScreen::mainScreen()->scale());
}

CGRect constraintRect(CGRect rect, CGRect inRect, CGSize minimumSize) {
    CGRect t = rect;
    if (!CGRectContainsRect(inRect, t)) {
        NSLog("%s: inRect = %s did not contain theRect = %s", __func__,
              rectDescription(inRect).c_str(), rectDescription(t).c_str());
        t = CGRectIntersection(inRect, t);
        if (CGRectIsNull(t)) t = CGRectMake(inRect.origin.x, inRect.origin.y, 0, 0);
    }
    if (t.size.width < minimumSize.width) {
        t.size.width = std::min(minimumSize.width, inRect.size.width);
        t.origin.x -= std::max<CGFloat>(0, CGRectGetMaxX(t) - CGRectGetMaxX(inRect));
    }
    if (t.size.height < minimumSize.height) {
        t.size.height = std::min(minimumSize.height, inRect.size.height);
        t.origin.y -= std::max<CGFloat>(0, CGRectGetMaxY(t) - CGRectGetMaxY(inRect));
    }
    return t;
}

std::shared_ptr<UIImage> imageByCombiningInConstraintSize(
    CGSize size, const std::shared_ptr<UIImage>& firstImage,
    const std::shared_ptr<UIImage>& secondImage, const std::shared_ptr<UIImage>& logoImage,
    CGPoint logoPosition) {
    return imageByCombiningInConstraintSize(
        size, firstImage,
        [&](CGContextRef) {
            if (secondImage) secondImage->drawAtPoint(CGPointZero);
        },
        logoImage, logoPosition);
}

std::shared_ptr<UIImage> imageByCombiningInConstraintSize(
    CGSize size, const std::shared_ptr<UIImage>& firstImage,
    const std::function<void(CGContextRef)>& drawSecond, const std::shared_ptr<UIImage>& logoImage,
    CGPoint logoPosition) {
    return UIGraphicsImageRenderer(size).image([&](CGContextRef c) {
        if (firstImage) firstImage->drawAtPoint(CGPointZero);
        drawSecond(c);
        if (logoImage) logoImage->drawAtPoint(logoPosition);
    });
}

#include "VMOverlayView.h"

#include <cmath>
#include <limits>

#include "Foundation/NSLog.h"
#include "Foundation/SaturatingCast.h"
#include "GLESUtility.h"
#include "OpenGLES/EAGLContext.h"
#include "UIKit/UIScreen.h"

namespace {}  // namespace

std::shared_ptr<VMOverlayView> VMOverlayView::initWithOverlay(std::shared_ptr<VMOverlay> overlay) {
    auto view = finishCreate(std::shared_ptr<VMOverlayView>(new VMOverlayView()), CGRectZero);
    view->setOverlay(std::move(overlay));
    return view;
}

VMOverlayView::~VMOverlayView() { GLESUtility::deleteTexture(strokeContext_, &strokeTextureID_); }

UIColorRef VMOverlayView::defaultStrokeColor() {
    return UIColor::colorWithRed(0.3, 0.63, 0.89, 0.8);
}

void VMOverlayView::referenceDidChange() {
    glPoints_.clear();
    reduced_.invalidate();
}

GLESUtility::ReducedPoints& VMOverlayView::reducedFor(const CGPoint* points, std::size_t count,
                                                      GLESUtility::ReducedPoints& once) {
    return points != nullptr && points == glPoints() && count == glPointCount() ? reduced_ : once;
}

// A texture made in another map's context is made again in the one drawing now.
GLuint VMOverlayView::strokeTextureID() {
    const auto current = EAGLContext::currentContext();
    const bool elsewhere = strokeTextureID_ != 0 && current && strokeContext_.lock() != current;
    if ((strokeTextureID_ == 0 || elsewhere) && textureImage_) {
        loadStrokeTextureImage(textureImage_);
    }
    return strokeTextureID_;
}

GLuint VMOverlayView::loadStrokeTextureImage(const std::shared_ptr<UIImage>& image) {
    const auto utility = GLESUtility::sharedUtility();
    if (!image) {
        GLESUtility::deleteTexture(strokeContext_, &strokeTextureID_);
        textureImage_ = nullptr;
        return strokeTextureID_;
    }
    const CGSize size = image->size();
    const long width = std::isfinite(size.width) ? long(size.width) : 0;
    const long height = std::isfinite(size.height) ? long(size.height) : 0;
    if (width != height || width <= 0 || (width & (width - 1)) != 0) {
        NSLog(
            "Cannot load strokeTexture Image. Texture image should be square (i.e. width = height) "
            "and the width should be 2^n.");
        return 0;
    }
    GLESUtility::deleteTexture(strokeContext_, &strokeTextureID_);
    textureImage_ = image;
    strokeContext_ = EAGLContext::currentContext();
    utility->loadTextureImage(image, &strokeTextureID_, true);
    return strokeTextureID_;
}

CGPoint VMOverlayView::glPointForMapPoint(VMMapPoint point) const {
    const auto r = render();
    const MapViewState* state = r ? r->overlayViewState() : nullptr;
    float x = 0;
    float y = 0;
    viewStateMapToGL(state, saturatingCast<std::int32_t>(point.x),
                     saturatingCast<std::int32_t>(point.y), &x, &y);
    return CGPointMake(x, y);
}

std::vector<CGPoint> VMOverlayView::glPointsForMapPoints(std::span<const VMMapPoint> points) const {
    std::vector<CGPoint> out;
    out.reserve(points.size());
    for (const VMMapPoint& p : points) out.push_back(glPointForMapPoint(p));
    return out;
}

float VMOverlayView::mapLenForPixelLen(int pixels) const {
    const auto r = render();
    const float length = mapEngineMapLengthForPixels(r ? r->overlayViewState() : nullptr, pixels);
    return std::isfinite(length) ? length : 0;
}

// The engine measures lengths in map units, while GL coordinates are map units over the view
// record's scale: without that division a line's width would grow with every zoom level below
// the reference's.
double VMOverlayView::glWidthForWindowWidth(double width) const {
    const double pixels = UIScreen::mainScreen()->scale() * width;
    const float length = mapLenForPixelLen(saturatingCast<std::int32_t>(pixels));
    const auto r = render();
    const MapViewState* state = r ? r->overlayViewState() : nullptr;
    if (state == nullptr || !(state->mapUnitsPerGLX >= 1)) return 0;
    return length / state->mapUnitsPerGLX;
}

void VMOverlayView::updateGlWindow() {
    const auto map = mapView();
    if (!map) return;
    const CGRect b = map->overlayViewBounds();
    const double grow = std::min(b.size.width, b.size.height) / 4;
    const double left = b.origin.x - grow;
    const double top = b.origin.y - grow;
    const double right = b.origin.x + b.size.width + grow;
    const double bottom = b.origin.y + b.size.height + grow;
    const CGPoint corners[] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    for (std::size_t i = 0; i < 4; ++i) {
        glWindow_[i] = glPointForMapPoint(map->overlayMapPointForPoint(corners[i]));
    }
}

double VMOverlayView::prepareToDraw() {
    updateGlWindow();
    const auto utility = GLESUtility::sharedUtility();
    utility->setClipWindow(glWindow_.data(), 4);
    utility->setMergeTolerance(glWidthForWindowWidth(1 / UIScreen::mainScreen()->scale()));
    return glWidthForWindowWidth(2.5);
}

void VMOverlayView::renderLinesWithPoints(const CGPoint* points, std::size_t count,
                                          const UIColorRef& strokeColor, double lineWidth,
                                          bool looped, int joinType, int capType, bool lineDash) {
    const double limit = prepareToDraw();
    GLESUtility::ReducedPoints once;
    GLESUtility::sharedUtility()->drawLinesWithPoints(points, count, strokeColor, 0, lineWidth,
                                                      looped, joinType, capType, lineDash, limit,
                                                      reducedFor(points, count, once));
}

void VMOverlayView::renderLinesWithPoints(const CGPoint* points, std::size_t count,
                                          const UIColorRef& strokeColor, double lineWidth,
                                          bool looped) {
    renderLinesWithPoints(points, count, strokeColor, lineWidth, looped, 0, 0, false);
}

void VMOverlayView::renderLinesWithPoints(const CGPoint* points, std::size_t count,
                                          const UIColorRef& strokeColor, double lineWidth,
                                          bool looped, bool lineDash) {
    renderLinesWithPoints(points, count, strokeColor ? strokeColor : defaultStrokeColor(),
                          lineWidth, looped, 0, 0, lineDash);
}

void VMOverlayView::renderTexturedLinesWithPoints(const CGPoint* points, std::size_t count,
                                                  double lineWidth, GLuint textureID, bool looped) {
    const double limit = prepareToDraw();
    GLESUtility::ReducedPoints once;
    GLESUtility::sharedUtility()->drawLinesWithPoints(points, count, nullptr, textureID, lineWidth,
                                                      looped, 0, 0, false, limit,
                                                      reducedFor(points, count, once));
}

void VMOverlayView::renderStrokedRegionWithPoints(const CGPoint* points, std::size_t count,
                                                  const UIColorRef& fillColor,
                                                  const UIColorRef& strokeColor,
                                                  double strokeLineWidth, int strokeLineJoinType,
                                                  bool strokeLineDash, bool usingTriangleFan) {
    const double limit = prepareToDraw();
    GLESUtility::ReducedPoints once;
    GLESUtility::sharedUtility()->drawRegionUsingTriangleFan(
        usingTriangleFan, points, count, fillColor, strokeLineWidth, strokeColor, 0, strokeLineDash,
        strokeLineJoinType, limit, reducedFor(points, count, once));
}

void VMOverlayView::renderTextureStrokedRegionWithPoints(const CGPoint* points, std::size_t count,
                                                         const UIColorRef& fillColor,
                                                         double strokeTineWidth,
                                                         GLuint strokeTextureID,
                                                         bool usingTriangleFan) {
    const double limit = prepareToDraw();
    GLESUtility::ReducedPoints once;
    GLESUtility::sharedUtility()->drawRegionUsingTriangleFan(
        usingTriangleFan, points, count, fillColor, strokeTineWidth, nullptr, strokeTextureID,
        false, 0, limit, reducedFor(points, count, once));
}

void VMOverlayView::renderRegionWithPoints(const CGPoint* points, std::size_t count,
                                           const UIColorRef& fillColor, bool usingTriangleFan) {
    renderStrokedRegionWithPoints(points, count, fillColor, nullptr, 0, 0, false, usingTriangleFan);
}

void VMOverlayView::renderRegionWithPoints(const CGPoint* points, std::size_t count,
                                           const UIColorRef& fillColor, double /*strokeLineWidth*/,
                                           bool usingTriangleFan) {
    renderRegionWithPoints(points, count, fillColor, usingTriangleFan);
}

void VMOverlayView::renderIconWithTextureID(GLuint textureID, const CGPoint* points,
                                            const UIColorRef& modulateColor) {
    GLESUtility::sharedUtility()->drawIconWithTextureID(textureID, points, 4, modulateColor);
}

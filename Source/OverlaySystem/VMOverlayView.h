#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "CoreGraphics/CGContext.h"
#include "GLESUtility.h"
#include "OpenGLES/EAGLContext.h"
#include "OpenGLES/ES1.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIView.h"
#include "VMOverlay.h"
#include "VMOverlayMapView.h"

// Base of the views that draw an overlay with GL inside the engine's frame. It keeps the
// overlay's points in GL coordinates until the engine's reference changes, the clip window
// around the visible area, and a stroke texture, and wraps the drawing utility.
class VMOverlayView : public UIView {
  public:
    static std::shared_ptr<VMOverlayView> initWithOverlay(std::shared_ptr<VMOverlay> overlay);
    ~VMOverlayView() override;

    // Draws the overlay; the map's GL context is current.
    virtual void glRender() {}
    // For subclasses that draw into a bitmap context instead; the map kit draws with GL only.
    virtual void drawMapRect(VMMapRect /*mapRect*/, double /*zoomScale*/,
                             CGContextRef /*context*/) {}
    // Drops the GL points, so the next refresh converts against the new reference.
    virtual void referenceDidChange();

    const std::shared_ptr<VMOverlay>& overlay() const { return overlay_; }
    void setOverlay(std::shared_ptr<VMOverlay> overlay) { overlay_ = std::move(overlay); }
    const CGPoint* glPoints() const { return glPoints_.empty() ? nullptr : glPoints_.data(); }
    std::size_t glPointCount() const { return glPoints_.size(); }
    void setGlPoints(std::vector<CGPoint> points) {
        glPoints_ = std::move(points);
        reduced_.invalidate();
    }
    std::shared_ptr<VMOverlayMapView> mapView() const { return mapView_.lock(); }
    void setMapView(std::weak_ptr<VMOverlayMapView> mapView) { mapView_ = std::move(mapView); }
    // The map view's renderer as overlays reach it: the map view answers for its engine's view
    // record and shown grids. Null while the view is on no map.
    std::shared_ptr<VMOverlayMapView> render() const { return mapView(); }
    const std::shared_ptr<UIImage>& textureImage() const { return textureImage_; }
    void setTextureImage(std::shared_ptr<UIImage> image) { textureImage_ = std::move(image); }

    // Loads the texture image on first use.
    GLuint strokeTextureID();
    // Null deletes the texture. The image must be square with a power-of-two side; otherwise it
    // is refused, 0 is returned and the current texture stays.
    GLuint loadStrokeTextureImage(const std::shared_ptr<UIImage>& image);

    // (0, 0) when the engine has no usable view record.
    CGPoint glPointForMapPoint(VMMapPoint point) const;
    std::vector<CGPoint> glPointsForMapPoints(std::span<const VMMapPoint> points) const;
    float mapLenForPixelLen(int pixels) const;
    // Screen points to GL units at the current zoom.
    double glWidthForWindowWidth(double width) const;
    // The map view's bounds grown by a quarter of their smaller side, corner by corner in GL.
    void updateGlWindow();
    const std::array<CGPoint, 4>& glWindow() const { return glWindow_; }

    void renderLinesWithPoints(const CGPoint* points, std::size_t count,
                               const UIColorRef& strokeColor, double lineWidth, bool looped,
                               int joinType, int capType, bool lineDash);
    void renderLinesWithPoints(const CGPoint* points, std::size_t count,
                               const UIColorRef& strokeColor, double lineWidth, bool looped);
    // An absent colour draws in the default stroke colour.
    void renderLinesWithPoints(const CGPoint* points, std::size_t count,
                               const UIColorRef& strokeColor, double lineWidth, bool looped,
                               bool lineDash);
    void renderTexturedLinesWithPoints(const CGPoint* points, std::size_t count, double lineWidth,
                                       GLuint textureID, bool looped);
    void renderStrokedRegionWithPoints(const CGPoint* points, std::size_t count,
                                       const UIColorRef& fillColor, const UIColorRef& strokeColor,
                                       double strokeLineWidth, int strokeLineJoinType,
                                       bool strokeLineDash, bool usingTriangleFan);
    void renderTextureStrokedRegionWithPoints(const CGPoint* points, std::size_t count,
                                              const UIColorRef& fillColor, double strokeTineWidth,
                                              GLuint strokeTextureID, bool usingTriangleFan);
    void renderRegionWithPoints(const CGPoint* points, std::size_t count,
                                const UIColorRef& fillColor, bool usingTriangleFan);
    // Fill only: the stroke width is accepted for callers that pass one and not drawn.
    void renderRegionWithPoints(const CGPoint* points, std::size_t count,
                                const UIColorRef& fillColor, double strokeLineWidth,
                                bool usingTriangleFan);
    void renderIconWithTextureID(GLuint textureID, const CGPoint* points,
                                 const UIColorRef& modulateColor = nullptr);

    static UIColorRef defaultStrokeColor();

  protected:
    VMOverlayView() = default;

  private:
    // Sets the utility's clip window and answers the thinning limit.
    double prepareToDraw();
    // The cache of reduced points when the points to draw are the view's own, else a new one.
    GLESUtility::ReducedPoints& reducedFor(const CGPoint* points, std::size_t count,
                                           GLESUtility::ReducedPoints& once);

    std::array<CGPoint, 4> glWindow_{};
    GLuint strokeTextureID_ = 0;
    std::weak_ptr<EAGLContext> strokeContext_;
    std::shared_ptr<VMOverlay> overlay_;
    std::vector<CGPoint> glPoints_;
    // glPoints_ thinned for the zoom last drawn at.
    GLESUtility::ReducedPoints reduced_;
    std::weak_ptr<VMOverlayMapView> mapView_;
    std::shared_ptr<UIImage> textureImage_;
};

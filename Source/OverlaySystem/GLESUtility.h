#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "OpenGLES/ES1.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "VMLineBuilder.h"
#include "VMPolygonClipper.h"
#include "VMPolygonTriangulator.h"

class EAGLContext;

// The object through which overlay views draw with GL ES 1.1 inside the engine's frame: line
// textures, the line builder, the clipper and the triangulator, all made on first use. Long
// point lists are thinned and clipped to the window around the visible area first, so that the
// cost follows what is on screen. Main thread only, with the map's GL context current.
class GLESUtility : public NSObject {
  public:
    // The utility of the GL context current on this thread. GL names belong to the context that
    // made them and map views do not share contexts, so each context has its own line textures.
    static std::shared_ptr<GLESUtility> sharedUtility();

    // Deletes the names with the context that made them current, and makes the caller's current
    // again; the names of a context that is gone went with it. Emptied either way.
    static void deleteTextures(const std::weak_ptr<EAGLContext>& owner, std::vector<GLuint>& names);
    static void deleteTexture(const std::weak_ptr<EAGLContext>& owner, GLuint* name);

    // Deletes the textures (in this utility's context) and drops the geometry helpers; all come
    // back on next use.
    void clear();
    VMLineBuilder& LineBuilder();
    VMPolygonClipper& PolygonClipper();
    VMTriangulator::VMPolygonTriangulator& PolygonTriangulator();
    GLuint lineTexture();
    GLuint lineDashTexture();

    // RGBA bytes, width x height.
    void loadTextureBuffer(const std::uint8_t* data, CGSize size, GLuint* textureID, bool repeat);
    void loadTextureImage(const std::shared_ptr<UIImage>& image, GLuint* textureID, bool repeat);
    void clearTexture(GLuint* textureID);

    // Points within this distance (GL units) of the line through their kept neighbours are
    // dropped before drawing; the map's overlay views set one pixel, so the frame changes by
    // less than a pixel. 0 keeps every point.
    void setMergeTolerance(double tolerance) { mergeTolerance_ = tolerance; }
    double mergeTolerance() const { return mergeTolerance_; }
    // Douglas-Peucker: keeps the ends and every point further than the tolerance from the chord
    // of the points kept around it.
    static void simplify(VMPointList& points, double tolerance, bool closed);

    // A view's points thinned and merged for one thinning limit and merge tolerance, which
    // follow the zoom only: kept across frames until the points or the zoom change, with the
    // fill's triangles once the area is drawn unclipped.
    struct ReducedPoints {
        double limit = -1;
        double tolerance = -1;
        bool closed = false;
        bool valid = false;
        VMPointList thinned;
        std::vector<std::uint32_t> fillIndices;
        void invalidate() { limit = tolerance = -1; }
    };
    // Thins and merges the points into `cache` unless it holds them for this limit and the
    // current merge tolerance already.
    void thinPoints(const CGPoint* points, std::size_t count, int pointsType, double limit,
                    bool looped, ReducedPoints& cache);

    // Four corners; any other count is refused and the old window kept.
    void setClipWindow(const CGPoint* points, std::size_t count);
    const std::array<Vector3<float>, 4>& clipWindow() const { return clipperWindow_; }

    // Four points only; the modulate colour is premultiplied, white when absent.
    void drawIconWithTextureID(GLuint textureID, const CGPoint* points, std::size_t count,
                               const UIColorRef& modulateColor);
    void drawColoredLinesWithPoints(const CGPoint* points, std::size_t count,
                                    const UIColorRef& strokeColor, double lineWidth, bool looped,
                                    int joinType, int capType, bool lineDash, double limit);
    void drawTexturedLinesWithPoints(const CGPoint* points, std::size_t count, GLuint textureID,
                                     double lineWidth, bool looped, double limit);
    void drawLinesWithPoints(const CGPoint* points, std::size_t count,
                             const UIColorRef& strokeColor, GLuint textureID, double lineWidth,
                             bool looped, int joinType, int capType, bool lineDash, double limit);
    // The same, thinning through a view's cache of its points.
    void drawLinesWithPoints(const CGPoint* points, std::size_t count,
                             const UIColorRef& strokeColor, GLuint textureID, double lineWidth,
                             bool looped, int joinType, int capType, bool lineDash, double limit,
                             ReducedPoints& cache);
    void drawLinesWithDrawable(const Drawable& drawable, GLuint textureID);
    // Triangles by the indices when given and not a fan, else one fan over all points.
    void drawRegionWithPoints(const VMPointList& points, const std::vector<std::uint32_t>* indices,
                              const UIColorRef& fillColor, bool usingFan);
    void drawRegionUsingTriangleFan(bool usingFan, const CGPoint* points, std::size_t count,
                                    const UIColorRef& fillColor, double strokeLineWidth,
                                    const UIColorRef& strokeColor, GLuint strokeTexture,
                                    bool strokeLineDash, int strokeLineJoinType, double limit);
    void drawRegionUsingTriangleFan(bool usingFan, const CGPoint* points, std::size_t count,
                                    const UIColorRef& fillColor, double strokeLineWidth,
                                    const UIColorRef& strokeColor, GLuint strokeTexture,
                                    bool strokeLineDash, int strokeLineJoinType, double limit,
                                    ReducedPoints& cache);

    // Thins, then clips lists of more than 100 points to the window; type 0 is a polyline.
    void reducePoints(const CGPoint* points, std::size_t count, int pointsType, double limit,
                      bool looped, VMPolygonList& result);
    // Keeps the first and last points and those further than the limit on an axis from the last
    // kept one; points that are not finite numbers are left out.
    static bool filterOriginPoints(const CGPoint* points, std::size_t count, double limit,
                                   VMPointList& result);
    // Null below two points; owned by the builder until its next build.
    const Drawable* convertPoints(const VMPointList& points, const UIColorRef& color,
                                  double lineWidth, bool looped, int joinType, int capType,
                                  bool striped);
    const std::vector<std::uint32_t>& getTriangleIndicesForPoints(const VMPointList& points);
    // The region's edge moved inwards by the line width; false when it has none.
    bool getInnerPoints(VMPointList& innerPoints, const VMPointList& forRegionByPoints,
                        double lineWidth);

  private:
    GLESUtility() = default;
    // True when the thinned list is drawn whole; else its parts inside the window are in
    // `clipped`.
    bool clipThinned(const VMPointList& thinned, int pointsType, bool looped,
                     VMPolygonList& clipped);
    void strokeRegion(const VMPointList& polygon, double strokeLineWidth,
                      const UIColorRef& strokeColor, GLuint strokeTexture, bool strokeLineDash,
                      int strokeLineJoinType);
    void drawElements(GLenum mode, const std::vector<std::uint32_t>& indices,
                      std::size_t vertexCount);

    std::weak_ptr<EAGLContext> context_;
    GLuint lineTexture_ = 0;
    GLuint lineDashTexture_ = 0;
    std::unique_ptr<VMLineBuilder> lineBuilder_;
    std::unique_ptr<VMPolygonClipper> polygonClipper_;
    std::unique_ptr<VMTriangulator::VMPolygonTriangulator> polygonTriangulator_;
    std::array<Vector3<float>, 4> clipperWindow_{};
    double mergeTolerance_ = 0;
    // Whether GL takes 32-bit indices; asked once.
    int elementIndexUint_ = -1;
    std::vector<GLushort> shortIndices_;
};

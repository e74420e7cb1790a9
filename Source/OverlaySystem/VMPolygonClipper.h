#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "VMVector.h"

// Plane primitives shared by the clipper, the triangulator and the GL utility. Orientations are
// -1, 0 or 1.
int orientation(const Vector3<float>& a, const Vector3<float>& b, const Vector3<float>& c);
// -2 below three points.
int polygonOrientation(const Vector3<float>* points, std::size_t count);
bool isClockwise(const Vector3<float>* points, std::size_t count);
// Strict: both parameters lie in the open interval (0, 1); parallel segments never meet.
std::optional<Vector3<float>> segmentIntersection(const Vector3<float>& a, const Vector3<float>& b,
                                                  const Vector3<float>& c, const Vector3<float>& d);
// The line through a and b against the segment c-d; only the segment's parameter is tested.
std::optional<Vector3<float>> lineSegmentIntersection(const Vector3<float>& a,
                                                      const Vector3<float>& b,
                                                      const Vector3<float>& c,
                                                      const Vector3<float>& d);
struct VMBox {
    float minX = 0;
    float maxX = 0;
    float minY = 0;
    float maxY = 0;
};
std::optional<VMBox> boundingBox(const Vector3<float>* points, std::size_t count);
// Even-odd rule.
bool pointInPolygonBox(const Vector3<float>* points, std::size_t count, const Vector3<float>& p,
                       const VMBox& box);
bool pointInPolygon(const Vector3<float>* points, std::size_t count, const Vector3<float>& p);
// Drops the point when it is within the tolerance of the list's last point on both axes.
bool appendPointWithTolerance(VMPointList& list, const Vector3<float>& p, float tolerance);

// Clips an open (or looped) line to a convex window edge by edge; points outside are dropped
// and the crossings kept. False when fewer points than a line needs remain.
bool clipPolyline(const VMPointList& polyline, bool looped, const Vector3<float>* window,
                  std::size_t windowCount, VMPointList& output, float tolerance);

namespace VMClipper {
enum IntersectState : std::int32_t { kEntering = 0, kLeaving = 1 };
}

// Clips polygons to a four-corner convex window by walking the polygon and window rings through
// their crossings. Node indices are 32-bit, so no polygon is too large to link.
class VMPolygonClipper {
  public:
    // Answers whether the given order is clockwise.
    bool setWindow(const std::array<Vector3<float>, 4>& window);
    // Clears the result; false below three points.
    bool clipPolygon(const VMPointList& polygon, VMPolygonList& result, float tolerance);

  private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;

    Vector3<float> nodePoint(std::uint32_t node) const;
    std::uint32_t polygonSuccessor(std::uint32_t node) const;
    std::uint32_t windowSuccessor(std::uint32_t node) const;
    void setPolygonSuccessor(std::uint32_t node, std::uint32_t next);
    void setWindowSuccessor(std::uint32_t node, std::uint32_t next);
    void linkAfter(std::uint32_t from, std::uint32_t node, const Vector3<float>& origin,
                   bool windowRing);
    unsigned outcode(const Vector3<float>& p) const;
    void trace(VMPolygonList& result, float tolerance);

    // Moves vertices that lie on a window edge's line a hair outside it, where the outcodes
    // already count them, so that every crossing of the window is a strict one.
    const VMPointList& offEdges(const VMPointList& polygon);

    const VMPointList* polygon_ = nullptr;
    VMPointList nudged_;
    std::uint32_t count_ = 0;
    const std::array<Vector3<float>, 4>* window_ = nullptr;
    std::array<Vector3<float>, 4> clockwiseWindow_{};
    std::array<Vector3<float>, 4> counterClockwiseWindow_{};
    VMPointList intersections_;
    std::vector<VMClipper::IntersectState> states_;
    std::vector<std::int16_t> visited_;
    std::vector<std::uint32_t> successors_;
    std::uint32_t firstWindowNode_ = 0;
    std::uint32_t firstIntersectionNode_ = 0;
    int windowOrientation_ = 0;
    std::vector<std::uint32_t> candidateEdges_;
};

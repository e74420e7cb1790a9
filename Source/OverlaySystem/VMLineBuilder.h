#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "VMVector.h"

// One vertex of a line strip: 36 bytes, read by GL with that stride.
struct Vertex {
    Vector3<float> position;
    float u = 0;
    float v = 0;
    Vector4<float> color;
};
static_assert(sizeof(Vertex) == 36);

// Triangles over the vertices. The indices are 32-bit so that a long line never wraps them.
struct Drawable {
    std::vector<std::uint32_t> indices;
    std::vector<Vertex> vertices;
};

enum VMLineJoinType { kVMLineJoinBevel = 0, kVMLineJoinMiter = 1, kVMLineJoinRound = 2 };
enum VMLineCapType {
    kVMLineCapNone = 0,
    kVMLineCapSquare = 1,
    kVMLineCapArrow = 2,
    kVMLineCapRound = 3,
};

// Turns a line in GL coordinates into triangles: a strip of one quad per segment that shares
// its vertices where it can, the inner corner of each turn merged, the outer one joined, caps
// at the ends of open lines, and a texture coordinate running along the line for dashes.
class VMLineBuilder {
  public:
    virtual ~VMLineBuilder() = default;

    // One colour per segment; the last stands for the rest, none means white.
    void build(const VMPointList* points, bool looped, int joinType, int capType,
               std::span<const Vector4<float>> colors, float width);
    // Plain white textured quads per segment, for image-textured lines.
    void buildStriped(const VMPointList* points, bool looped, float width);
    const Drawable& drawable() const { return drawable_; }
    // How far (GL units) the rim of a round join or cap may stray inside its circle: its
    // segments follow the width instead of one per degree. 0 keeps one per degree.
    void setArcTolerance(float tolerance) { arcTolerance_ = tolerance; }
    // The edge of a region moved inwards by the width: 2 for a width of 0 or less, 1 for fewer
    // than 3 points, 3 when the region is too thin to have one, 0 with the edge in `result`.
    static int innerEdge(const VMPointList& region, VMPointList& result, float width);

  private:
    using V3Point = Vector3<float>;
    struct Side {
        Vector3<float> left;
        Vector3<float> right;
    };

    // Vertex numbers of a quad's two sides.
    struct SideAt {
        std::uint32_t left;
        std::uint32_t right;
    };
    static constexpr std::uint32_t kNoSide = UINT32_MAX;

    const VMPointList* finitePoints(const VMPointList* points);
    void setUp(const VMPointList* points, bool looped, float width);
    // A quad from `start`, or, with `fromOpen`, from the end the last quad left open (sharing
    // its vertices); its end is left open for the next one.
    std::pair<SideAt, SideAt> addQuad(const Side& start, const Side& end, float length,
                                      const Vector4<float>& color, bool fromOpen = false);
    // Starts the next quad at `side` with vertices of its own, left open for the next point.
    SideAt openSide(const Side& side, const Vector4<float>& color);
    // A join whose inner corner is shared, drawn as a strip: the incoming quad runs on from the
    // open end and the outgoing one is left to the next point, so that one quad spans each
    // segment; a bevel adds one triangle, a miter none.
    void addStripJoin(const V3Point& p, const V3Point& inner, const V3Point& outerA,
                      const V3Point& outerB, float s, float inLength, bool miter,
                      const Vector4<float>& color);
    void addJoin(std::size_t point, std::size_t incoming, std::size_t outgoing, bool firstHalfWhole,
                 int joinType);
    void addRoundFan(const Vector3<float>& center, const Vector3<float>& from,
                     const Vector3<float>& to, int steps, const Vector4<float>& firstColor,
                     const Vector4<float>& secondColor);
    void addCaps(int capType);
    const Vector4<float>& colorOf(std::size_t segment) const;

    float textureScale_ = 0;
    float miterLimit_ = 10.0f;
    Vector4<float> defaultColor_{1, 1, 1, 1};
    Drawable drawable_;
    std::vector<Vector3<float>> segmentVectors_;
    std::vector<float> segmentLengths_;

    const VMPointList* points_ = nullptr;
    VMPointList finitePoints_;
    std::span<const Vector4<float>> colors_;
    float width_ = 0;
    float arcTolerance_ = 0;
    bool looped_ = false;
    float textureOffset_ = 0;
    // Where the first quad starts.
    Side pending_;
    // The vertices of the end the last quad left open, and whether it lies at the last point
    // (the segment after it not drawn yet) rather than halfway along a ring's last segment.
    SideAt open_{kNoSide, kNoSide};
    bool deferred_ = false;
};

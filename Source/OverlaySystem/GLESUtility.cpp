#include "GLESUtility.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "Foundation/NSLog.h"
#include "OpenGLES/EAGLContext.h"
#include "VMResources.h"

namespace {

constexpr std::size_t kUnclippedPointLimit = 100;

Vector4<float> rgba(const UIColorRef& color) {
    if (!color) return {};
    const CGColor c = color->CGColor();
    return {float(c.r), float(c.g), float(c.b), float(c.a)};
}

// Doubles beyond the float range would not convert; they saturate instead.
float toFloat(double v) {
    return static_cast<float>(std::clamp(v, -double(FLT_MAX), double(FLT_MAX)));
}

}  // namespace

std::shared_ptr<GLESUtility> GLESUtility::sharedUtility() {
    static std::mutex mutex;
    static std::map<std::weak_ptr<EAGLContext>, std::shared_ptr<GLESUtility>, std::owner_less<>>
        byContext;
    static const std::shared_ptr<GLESUtility> contextless(new GLESUtility());
    const auto context = EAGLContext::currentContext();
    if (!context) return contextless;
    std::lock_guard lock(mutex);
    // The utilities of contexts that are gone hold nothing GL still knows.
    std::erase_if(byContext, [](const auto& entry) { return entry.first.expired(); });
    auto& utility = byContext[context];
    if (!utility) {
        utility.reset(new GLESUtility());
        utility->context_ = context;
    }
    return utility;
}

void GLESUtility::deleteTextures(const std::weak_ptr<EAGLContext>& owner,
                                 std::vector<GLuint>& names) {
    const auto context = owner.lock();
    if (names.empty() || !context) {
        names.clear();
        return;
    }
    const auto previous = EAGLContext::currentContext();
    if (previous == context || EAGLContext::setCurrentContext(context)) {
        glDeleteTextures(GLsizei(names.size()), names.data());
        if (previous != context) EAGLContext::setCurrentContext(previous);
    }
    names.clear();
}

void GLESUtility::deleteTexture(const std::weak_ptr<EAGLContext>& owner, GLuint* name) {
    if (name == nullptr || *name == 0) return;
    std::vector<GLuint> names{*name};
    deleteTextures(owner, names);
    *name = 0;
}

void GLESUtility::clear() {
    deleteTexture(context_, &lineTexture_);
    deleteTexture(context_, &lineDashTexture_);
    lineBuilder_.reset();
    polygonTriangulator_.reset();
    polygonClipper_.reset();
}

VMLineBuilder& GLESUtility::LineBuilder() {
    if (!lineBuilder_) lineBuilder_ = std::make_unique<VMLineBuilder>();
    return *lineBuilder_;
}

VMPolygonClipper& GLESUtility::PolygonClipper() {
    if (!polygonClipper_) polygonClipper_ = std::make_unique<VMPolygonClipper>();
    return *polygonClipper_;
}

VMTriangulator::VMPolygonTriangulator& GLESUtility::PolygonTriangulator() {
    if (!polygonTriangulator_) {
        polygonTriangulator_ = std::make_unique<VMTriangulator::VMPolygonTriangulator>();
    }
    return *polygonTriangulator_;
}

GLuint GLESUtility::lineTexture() {
    if (lineTexture_ == 0) {
        loadTextureImage(VMResources::sharedResources()->imageNamed("lineTexture"), &lineTexture_,
                         false);
    }
    return lineTexture_;
}

GLuint GLESUtility::lineDashTexture() {
    if (lineDashTexture_ == 0) {
        loadTextureImage(VMResources::sharedResources()->imageNamed("lineDashTexture"),
                         &lineDashTexture_, true);
    }
    return lineDashTexture_;
}

void GLESUtility::loadTextureBuffer(const std::uint8_t* data, CGSize size, GLuint* textureID,
                                    bool repeat) {
    if (data == nullptr || textureID == nullptr) return;
    glGenTextures(1, textureID);
    glBindTexture(GL_TEXTURE_2D, *textureID);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const GLint wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, GLsizei(size.width), GLsizei(size.height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, data);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
}

void GLESUtility::loadTextureImage(const std::shared_ptr<UIImage>& image, GLuint* textureID,
                                   bool repeat) {
    if (!image || textureID == nullptr) return;
    const CGImageRef& bitmap = image->CGImage();
    if (!bitmap) {
        NSLog("textureImage is NULL");
        return;
    }
    const int width = bitmap->width();
    const int height = bitmap->height();
    // Premultiplied RGBA, alpha last, as GL takes it.
    std::vector<std::uint8_t> buffer(std::size_t(width) * height * 4, 0);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = bitmap->bytes() + std::size_t(y) * bitmap->bytesPerRow();
        std::uint8_t* out = buffer.data() + std::size_t(y) * width * 4;
        for (int x = 0; x < width; ++x, out += 4) {
            if (bitmap->isMask()) {
                out[3] = row[x];
                continue;
            }
            std::uint32_t word;
            std::memcpy(&word, row + 4 * x, 4);
            out[0] = std::uint8_t(word >> 16);
            out[1] = std::uint8_t(word >> 8);
            out[2] = std::uint8_t(word);
            out[3] = std::uint8_t(word >> 24);
        }
    }
    loadTextureBuffer(buffer.data(), CGSizeMake(width, height), textureID, repeat);
}

void GLESUtility::clearTexture(GLuint* textureID) {
    if (textureID == nullptr || *textureID == 0) return;
    glDeleteTextures(1, textureID);
    *textureID = 0;
}

void GLESUtility::setClipWindow(const CGPoint* points, std::size_t count) {
    if (points == nullptr || count != 4) {
        NSLog("Clip window count only 4 temporarily.");
        return;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        clipperWindow_[i] = {toFloat(points[i].x), toFloat(points[i].y), 0};
    }
}

void GLESUtility::drawIconWithTextureID(GLuint textureID, const CGPoint* points, std::size_t count,
                                        const UIColorRef& modulateColor) {
    if (points == nullptr || count != 4) return;
    GLfloat vertices[12];
    for (std::size_t i = 0; i < 4; ++i) {
        vertices[3 * i] = toFloat(points[i].x);
        vertices[3 * i + 1] = toFloat(points[i].y);
        vertices[3 * i + 2] = 0;
    }
    static const GLfloat kTexCoords[] = {0, 1, 1, 1, 1, 0, 0, 0};
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureID);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const Vector4<float> c = modulateColor ? rgba(modulateColor) : Vector4<float>{1, 1, 1, 1};
    glColor4f(c.x * c.w, c.y * c.w, c.z * c.w, c.w);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, kTexCoords);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GLESUtility::drawColoredLinesWithPoints(const CGPoint* points, std::size_t count,
                                             const UIColorRef& strokeColor, double lineWidth,
                                             bool looped, int joinType, int capType, bool lineDash,
                                             double limit) {
    drawLinesWithPoints(points, count, strokeColor, 0, lineWidth, looped, joinType, capType,
                        lineDash, limit);
}

void GLESUtility::drawTexturedLinesWithPoints(const CGPoint* points, std::size_t count,
                                              GLuint textureID, double lineWidth, bool looped,
                                              double limit) {
    drawLinesWithPoints(points, count, nullptr, textureID, lineWidth, looped, 0, 0, false, limit);
}

void GLESUtility::drawLinesWithPoints(const CGPoint* points, std::size_t count,
                                      const UIColorRef& strokeColor, GLuint textureID,
                                      double lineWidth, bool looped, int joinType, int capType,
                                      bool lineDash, double limit) {
    ReducedPoints once;
    drawLinesWithPoints(points, count, strokeColor, textureID, lineWidth, looped, joinType, capType,
                        lineDash, limit, once);
}

void GLESUtility::drawLinesWithPoints(const CGPoint* points, std::size_t count,
                                      const UIColorRef& strokeColor, GLuint textureID,
                                      double lineWidth, bool looped, int joinType, int capType,
                                      bool lineDash, double limit, ReducedPoints& cache) {
    if (!(lineWidth > 0)) return;
    thinPoints(points, count, 0, limit, looped, cache);
    if (!cache.valid) return;
    VMPolygonList clipped;
    const bool whole = clipThinned(cache.thinned, 0, looped, clipped);
    const auto draw = [&](const VMPointList& list) {
        const Drawable* drawable =
            convertPoints(list, strokeColor, lineWidth, looped, joinType, capType, textureID != 0);
        if (drawable == nullptr) return false;
        GLuint texture = textureID;
        if (texture == 0) texture = lineDash ? lineDashTexture() : lineTexture();
        drawLinesWithDrawable(*drawable, texture);
        return true;
    };
    if (whole) {
        draw(cache.thinned);
        return;
    }
    for (const VMPointList& list : clipped) {
        if (!draw(list)) return;
    }
}

void GLESUtility::drawElements(GLenum mode, const std::vector<std::uint32_t>& indices,
                               std::size_t vertexCount) {
    if (indices.empty()) return;
    if (elementIndexUint_ < 0) {
        const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        elementIndexUint_ = extensions != nullptr &&
                            std::strstr(extensions, "GL_OES_element_index_uint") != nullptr;
    }
    if (elementIndexUint_ == 1) {
        glDrawElements(mode, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data());
        return;
    }
    if (vertexCount > 65536) {
        NSLog("Too many vertices for 16-bit indices: %zu; not drawn.", vertexCount);
        return;
    }
    shortIndices_.assign(indices.begin(), indices.end());
    glDrawElements(mode, GLsizei(shortIndices_.size()), GL_UNSIGNED_SHORT, shortIndices_.data());
}

void GLESUtility::drawLinesWithDrawable(const Drawable& drawable, GLuint textureID) {
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureID);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const auto* base = reinterpret_cast<const std::uint8_t*>(drawable.vertices.data());
    glVertexPointer(3, GL_FLOAT, sizeof(Vertex), base + offsetof(Vertex, position));
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), base + offsetof(Vertex, u));
    glColorPointer(4, GL_FLOAT, sizeof(Vertex), base + offsetof(Vertex, color));
    drawElements(GL_TRIANGLES, drawable.indices, drawable.vertices.size());
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void GLESUtility::drawRegionWithPoints(const VMPointList& points,
                                       const std::vector<std::uint32_t>* indices,
                                       const UIColorRef& fillColor, bool usingFan) {
    if (points.empty()) return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glLineWidth(1);
    const Vector4<float> c = rgba(fillColor);
    glColor4f(c.x, c.y, c.z, c.w);
    glVertexPointer(3, GL_FLOAT, 0, points.data());
    if (indices != nullptr && !usingFan && indices->size() > 2) {
        drawElements(GL_TRIANGLES, *indices, points.size());
    } else {
        glDrawArrays(GL_TRIANGLE_FAN, 0, GLsizei(points.size()));
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisable(GL_BLEND);
}

void GLESUtility::drawRegionUsingTriangleFan(bool usingFan, const CGPoint* points,
                                             std::size_t count, const UIColorRef& fillColor,
                                             double strokeLineWidth, const UIColorRef& strokeColor,
                                             GLuint strokeTexture, bool strokeLineDash,
                                             int strokeLineJoinType, double limit) {
    ReducedPoints once;
    drawRegionUsingTriangleFan(usingFan, points, count, fillColor, strokeLineWidth, strokeColor,
                               strokeTexture, strokeLineDash, strokeLineJoinType, limit, once);
}

void GLESUtility::drawRegionUsingTriangleFan(bool usingFan, const CGPoint* points,
                                             std::size_t count, const UIColorRef& fillColor,
                                             double strokeLineWidth, const UIColorRef& strokeColor,
                                             GLuint strokeTexture, bool strokeLineDash,
                                             int strokeLineJoinType, double limit,
                                             ReducedPoints& cache) {
    if (points == nullptr || count < 3) return;
    thinPoints(points, count, 1, limit, false, cache);
    if (!cache.valid) return;
    VMPolygonList clipped;
    if (clipThinned(cache.thinned, 1, false, clipped)) {
        // The triangles of an area drawn whole follow its points only.
        if (!usingFan && cache.fillIndices.empty()) {
            cache.fillIndices = getTriangleIndicesForPoints(cache.thinned);
        }
        drawRegionWithPoints(cache.thinned, usingFan ? nullptr : &cache.fillIndices, fillColor,
                             usingFan);
        strokeRegion(cache.thinned, strokeLineWidth, strokeColor, strokeTexture, strokeLineDash,
                     strokeLineJoinType);
        return;
    }
    for (const VMPointList& polygon : clipped) {
        if (usingFan) {
            drawRegionWithPoints(polygon, nullptr, fillColor, true);
        } else {
            drawRegionWithPoints(polygon, &getTriangleIndicesForPoints(polygon), fillColor, false);
        }
        strokeRegion(polygon, strokeLineWidth, strokeColor, strokeTexture, strokeLineDash,
                     strokeLineJoinType);
    }
}

void GLESUtility::strokeRegion(const VMPointList& polygon, double strokeLineWidth,
                               const UIColorRef& strokeColor, GLuint strokeTexture,
                               bool strokeLineDash, int strokeLineJoinType) {
    if (!(strokeLineWidth > 0) || (!strokeColor && strokeTexture == 0)) return;
    const Drawable* drawable = convertPoints(polygon, strokeColor, strokeLineWidth, true,
                                             strokeLineJoinType, 0, strokeTexture != 0);
    if (drawable == nullptr) return;
    GLuint texture = strokeTexture;
    if (texture == 0) texture = strokeLineDash ? lineDashTexture() : lineTexture();
    drawLinesWithDrawable(*drawable, texture);
}

bool GLESUtility::filterOriginPoints(const CGPoint* points, std::size_t count, double limit,
                                     VMPointList& result) {
    if (points == nullptr) return false;
    std::vector<std::size_t> finite;
    finite.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (std::isfinite(points[i].x) && std::isfinite(points[i].y)) finite.push_back(i);
    }
    const std::size_t n = finite.size();
    if (n < 2) return false;
    const auto point = [&](std::size_t k) {
        const CGPoint& p = points[finite[k]];
        return Vector3<float>{toFloat(p.x), toFloat(p.y), 0};
    };
    const std::size_t start = result.size();
    if (n <= 99) result.reserve(start + n);
    result.push_back(point(0));
    CGPoint kept = points[finite[0]];
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const CGPoint& p = points[finite[k]];
        if (std::fabs(p.x - kept.x) > limit || std::fabs(p.y - kept.y) > limit) {
            result.push_back(point(k));
            kept = p;
        }
    }
    if (result.size() - start < 2) result.push_back(point((n - 1) / 2));
    result.push_back(point(n - 1));
    return true;
}

void GLESUtility::thinPoints(const CGPoint* points, std::size_t count, int pointsType, double limit,
                             bool looped, ReducedPoints& cache) {
    const bool closed = pointsType != 0 || looped;
    if (cache.limit == limit && cache.tolerance == mergeTolerance_ && cache.closed == closed) {
        return;
    }
    cache.limit = limit;
    cache.tolerance = mergeTolerance_;
    cache.closed = closed;
    cache.thinned.clear();
    cache.fillIndices.clear();
    cache.valid = filterOriginPoints(points, count, limit, cache.thinned);
    if (!cache.valid) return;
    simplify(cache.thinned, mergeTolerance_, closed);
    if (pointsType != 0 && cache.thinned.size() < 3) cache.valid = false;
}

bool GLESUtility::clipThinned(const VMPointList& thinned, int pointsType, bool looped,
                              VMPolygonList& clipped) {
    if (thinned.size() <= kUnclippedPointLimit) return true;
    if (pointsType != 0) {
        PolygonClipper().setWindow(clipperWindow_);
        PolygonClipper().clipPolygon(thinned, clipped, 0);
        return false;
    }
    VMPointList part;
    if (clipPolyline(thinned, looped, clipperWindow_.data(), 4, part, 0)) {
        clipped.push_back(std::move(part));
    }
    return false;
}

void GLESUtility::reducePoints(const CGPoint* points, std::size_t count, int pointsType,
                               double limit, bool looped, VMPolygonList& result) {
    ReducedPoints reduced;
    thinPoints(points, count, pointsType, limit, looped, reduced);
    if (!reduced.valid) return;
    VMPolygonList clipped;
    if (clipThinned(reduced.thinned, pointsType, looped, clipped)) {
        result.push_back(std::move(reduced.thinned));
        return;
    }
    for (VMPointList& part : clipped) result.push_back(std::move(part));
}

namespace {

double distanceToChord(const Vector3<float>& p, const Vector3<float>& a, const Vector3<float>& b) {
    const double dx = double(b.x) - a.x;
    const double dy = double(b.y) - a.y;
    const double length = std::hypot(dx, dy);
    if (length == 0) return std::hypot(double(p.x) - a.x, double(p.y) - a.y);
    return std::fabs(dx * (double(p.y) - a.y) - dy * (double(p.x) - a.x)) / length;
}

}  // namespace

void GLESUtility::simplify(VMPointList& points, double tolerance, bool closed) {
    const std::size_t n = points.size();
    if (!(tolerance > 0) || n < 3) return;
    std::vector<char> keep(n, 0);
    keep[0] = keep[n - 1] = 1;
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    // A ring is split at the point farthest from its first, so both halves have a chord.
    if (closed) {
        std::size_t far = 0;
        double best = -1;
        for (std::size_t i = 1; i < n; ++i) {
            const double d =
                std::hypot(double(points[i].x) - points[0].x, double(points[i].y) - points[0].y);
            if (d > best) {
                best = d;
                far = i;
            }
        }
        keep[far] = 1;
        spans.emplace_back(0, far);
        spans.emplace_back(far, n - 1);
    } else {
        spans.emplace_back(0, n - 1);
    }
    while (!spans.empty()) {
        const auto [first, last] = spans.back();
        spans.pop_back();
        if (last <= first + 1) continue;
        std::size_t worst = first;
        double farthest = tolerance;
        for (std::size_t i = first + 1; i < last; ++i) {
            const double d = distanceToChord(points[i], points[first], points[last]);
            if (d > farthest) {
                farthest = d;
                worst = i;
            }
        }
        if (worst == first) continue;
        keep[worst] = 1;
        spans.emplace_back(first, worst);
        spans.emplace_back(worst, last);
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (keep[i]) points[out++] = points[i];
    }
    points.resize(out);
}

const Drawable* GLESUtility::convertPoints(const VMPointList& points, const UIColorRef& color,
                                           double lineWidth, bool looped, int joinType, int capType,
                                           bool striped) {
    if (points.size() < 2) return nullptr;
    if (striped) {
        LineBuilder().buildStriped(&points, looped, toFloat(lineWidth));
    } else {
        const Vector4<float> c = rgba(color);
        // Round joins and caps stray from their circles by at most a quarter of the merge
        // tolerance (a quarter pixel on the map).
        LineBuilder().setArcTolerance(toFloat(mergeTolerance_ / 4));
        LineBuilder().build(&points, looped, joinType, capType, std::span(&c, 1),
                            toFloat(lineWidth));
    }
    return &LineBuilder().drawable();
}

const std::vector<std::uint32_t>& GLESUtility::getTriangleIndicesForPoints(
    const VMPointList& points) {
    return PolygonTriangulator().triangulate(points);
}

bool GLESUtility::getInnerPoints(VMPointList& innerPoints, const VMPointList& forRegionByPoints,
                                 double lineWidth) {
    const int result =
        VMLineBuilder::innerEdge(forRegionByPoints, innerPoints, static_cast<float>(lineWidth));
    if (result == 2) return false;
    if (result == 1) {
        NSLog("DrawRegion: Cannot get inner edge since less than 3 points.");
        return false;
    }
    // A region too thin for the width has no inner edge; that is no success either.
    return result == 0;
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <numbers>

#include "Foundation/SaturatingCast.h"
#include "MapEngine.h"
#include "ViewGeometry.h"

namespace view_geometry {
namespace {

constexpr float kMinZoomLevel = 3.0f;
constexpr float kMaxZoomLevel = 19.0f;
constexpr float kMaxCameraPitch = 65.0f;
constexpr double kMaxLatitude = 85.0511287798;
// tan of half the vertical field of view; small enough that the ground reaches past the top edge
// at the steepest pitch, so every screen point has a ground point.
constexpr double kHalfFovTangent = 0.4;
constexpr double kNearFactor = 0.1;
constexpr double kFarFactor = 20.0;
constexpr double kPi = std::numbers::pi;

using Mat4 = std::array<double, 16>;  // column-major

Mat4 identity() {
    Mat4 m{};
    m[0] = m[5] = m[10] = m[15] = 1;
    return m;
}

Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 r{};
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
            r[col * 4 + row] = sum;
        }
    }
    return r;
}

std::optional<Mat4> invert(const Mat4& m) {
    Mat4 inv{};
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
             m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
             m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
             m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
              m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
             m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
             m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
             m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
              m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
             m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
              m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
              m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
             m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    const double det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0 || !std::isfinite(det)) return std::nullopt;
    for (double& v : inv) v /= det;
    return inv;
}

Mat4 fromFloats(const float (&m)[16]) {
    Mat4 r{};
    for (int i = 0; i < 16; ++i) r[i] = m[i];
    return r;
}

std::array<double, 4> transform(const double* m, double x, double y, double z, double w) {
    std::array<double, 4> r{};
    for (int row = 0; row < 4; ++row) {
        r[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row] * w;
    }
    return r;
}

bool hasViewport(const MapViewState& s) { return s.viewport[2] > 0 && s.viewport[3] > 0; }

// The screen point of a GL point under the product of the projection and modelview matrices;
// nothing for a point behind the camera.
void glToScreen(const double* m, const int32_t (&viewport)[4], double* screenX, double* screenY,
                float glX, float glY) {
    const auto clip = transform(m, glX, glY, 0, 1);
    if (clip[3] <= 0) return;  // behind the camera
    const double ndcX = clip[0] / clip[3];
    const double ndcY = clip[1] / clip[3];
    *screenX = viewport[0] + (ndcX + 1) / 2 * viewport[2];
    *screenY = viewport[1] + (1 - ndcY) / 2 * viewport[3];
}

bool hasScale(const MapViewState& s) {
    return std::isfinite(s.mapUnitsPerGLX) && std::isfinite(s.mapUnitsPerGLY) &&
           s.mapUnitsPerGLX >= 1 && s.mapUnitsPerGLY >= 1;
}

void computeMatrices(MapViewState& s) {
    const double width = std::max(s.viewport[2], 1);
    const double height = std::max(s.viewport[3], 1);
    const double distance = height / 2 / kHalfFovTangent;
    const double pixelsPerGL =
        std::exp2(s.zoomLevel - static_cast<float>(levelForZoom(s.zoomLevel)));
    const double centerGLX = (double(s.centerX) - s.originX) / s.mapUnitsPerGLX;
    const double centerGLY = (double(s.centerY) - s.originY) / s.mapUnitsPerGLY;
    const double theta = double(s.rotation) * kPi / 180;
    const double phi = double(s.cameraPitch) * kPi / 180;

    Mat4 translate = identity();
    translate[12] = -centerGLX;
    translate[13] = -centerGLY;
    Mat4 scale = identity();
    scale[0] = scale[5] = pixelsPerGL;
    // Content turns against the camera heading; y still grows downwards here.
    Mat4 rotate = identity();
    rotate[0] = std::cos(theta);
    rotate[4] = std::sin(theta);
    rotate[1] = -std::sin(theta);
    rotate[5] = std::cos(theta);
    // Half turn about x: screen y downwards becomes eye y upwards, keeping the handedness.
    Mat4 flip = identity();
    flip[5] = -1;
    flip[10] = -1;
    // Tilt the ground away from the camera at the top of the screen.
    Mat4 tilt = identity();
    tilt[5] = std::cos(phi);
    tilt[9] = std::sin(phi);
    tilt[6] = -std::sin(phi);
    tilt[10] = std::cos(phi);
    Mat4 back = identity();
    back[14] = -distance;
    const Mat4 modelview = multiply(
        back, multiply(tilt, multiply(flip, multiply(rotate, multiply(scale, translate)))));

    const double nearPlane = distance * kNearFactor;
    const double farPlane = distance * kFarFactor;
    Mat4 projection{};
    projection[0] = 1 / (kHalfFovTangent * width / height);
    projection[5] = 1 / kHalfFovTangent;
    projection[10] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    projection[11] = -1;
    projection[14] = -2 * farPlane * nearPlane / (farPlane - nearPlane);

    for (int i = 0; i < 16; ++i) {
        s.modelviewMatrix[i] = static_cast<float>(modelview[i]);
        s.projectionMatrix[i] = static_cast<float>(projection[i]);
    }
}

void computeVisibleBounds(MapViewState& s) {
    s.visibleMinX = s.visibleMaxX = static_cast<int32_t>(std::min(s.centerX, kMaxMapCoordinate));
    s.visibleMinY = s.visibleMaxY = static_cast<int32_t>(std::min(s.centerY, kMaxMapCoordinate));
    const auto quad = visibleQuad(s);
    if (!quad) return;
    double minX = kMaxMapCoordinate, minY = kMaxMapCoordinate, maxX = 0, maxY = 0;
    for (const MapPointD& p : *quad) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    const double limit = kMaxMapCoordinate;
    s.visibleMinX = saturatingCast<std::int32_t>(std::clamp(std::floor(minX), 0.0, limit));
    s.visibleMinY = saturatingCast<std::int32_t>(std::clamp(std::floor(minY), 0.0, limit));
    s.visibleMaxX = saturatingCast<std::int32_t>(std::clamp(std::ceil(maxX), 0.0, limit));
    s.visibleMaxY = saturatingCast<std::int32_t>(std::clamp(std::ceil(maxY), 0.0, limit));
}

}  // namespace

int levelForZoom(float zoomLevel) {
    if (std::isnan(zoomLevel)) return 0;
    // Clamped while still a float: a record may carry any zoom, and one beyond int is undefined.
    return static_cast<int>(
        std::clamp(std::floor(zoomLevel), 0.0f, static_cast<float>(kGridNameMaxLength)));
}

MapViewState defaultViewState() {
    MapViewState s{};
    s.centerX = kWorldSize / 2;
    s.centerY = kWorldSize / 2;
    s.zoomLevel = kMinZoomLevel;
    mapEngineUpdateView(&s);
    return s;
}

std::optional<MapViewState> validViewState(const MapViewState& state) {
    if (!std::isfinite(state.zoomLevel) || !std::isfinite(state.rotation) ||
        !std::isfinite(state.cameraPitch) || std::floor(state.zoomLevel) > kMaxZoomLevel) {
        return std::nullopt;
    }
    MapViewState valid = state;
    valid.centerX = std::min(valid.centerX, kMaxMapCoordinate);
    valid.centerY = std::min(valid.centerY, kMaxMapCoordinate);
    valid.zoomLevel = std::max(valid.zoomLevel, kMinZoomLevel);
    valid.cameraPitch = std::clamp(valid.cameraPitch, 0.0f, kMaxCameraPitch);
    return valid;
}

void recomputeReference(MapViewState& s) {
    const int level = levelForZoom(s.zoomLevel);
    const GridKey reference = referenceGrid(s);
    s.originX = static_cast<int32_t>(reference.x * reference.side());
    s.originY = static_cast<int32_t>(reference.y * reference.side());
    s.mapUnitsPerGLX = s.mapUnitsPerGLY = std::exp2(static_cast<float>(20 - level));
    s.mapUnitsPerPixel = std::isfinite(s.zoomLevel) ? std::exp2(20.0f - s.zoomLevel) : 0.0f;
}

GridKey referenceGrid(const MapViewState& s) {
    return GridKey::containing(levelForZoom(s.zoomLevel), std::min(s.centerX, kMaxMapCoordinate),
                               std::min(s.centerY, kMaxMapCoordinate));
}

std::optional<std::array<MapPointD, 4>> visibleQuad(const MapViewState& s) {
    if (!hasViewport(s) || !hasScale(s)) return std::nullopt;
    const double left = s.viewport[0];
    const double top = s.viewport[1];
    const double right = left + s.viewport[2];
    const double bottom = top + s.viewport[3];
    const double corners[4][2] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    std::array<MapPointD, 4> quad{};
    for (int i = 0; i < 4; ++i) {
        float gx = std::numeric_limits<float>::quiet_NaN();
        float gy = gx;
        mapEngineScreenToGL(&s, &gx, &gy, corners[i][0], corners[i][1]);
        if (!std::isfinite(gx) || !std::isfinite(gy)) return std::nullopt;
        quad[i] = {double(gx) * s.mapUnitsPerGLX + s.originX,
                   double(gy) * s.mapUnitsPerGLY + s.originY};
    }
    return quad;
}

bool intersectsQuad(const GridKey& grid, const std::array<MapPointD, 4>& quad) {
    const double x0 = double(grid.x) * grid.side();
    const double y0 = double(grid.y) * grid.side();
    const double x1 = x0 + grid.side();
    const double y1 = y0 + grid.side();
    // Separating axes: the grid's own two, then the quad's edge normals.
    double minX = quad[0].x, maxX = quad[0].x, minY = quad[0].y, maxY = quad[0].y;
    for (const MapPointD& p : quad) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    if (maxX < x0 || minX > x1 || maxY < y0 || minY > y1) return false;
    const MapPointD corners[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    for (int i = 0; i < 4; ++i) {
        const MapPointD a = quad[static_cast<size_t>(i)];
        const MapPointD b = quad[static_cast<size_t>((i + 1) % 4)];
        const double nx = -(b.y - a.y);
        const double ny = b.x - a.x;
        double quadMin = 0, quadMax = 0;
        for (int j = 0; j < 4; ++j) {
            const double d = (quad[static_cast<size_t>(j)].x - a.x) * nx +
                             (quad[static_cast<size_t>(j)].y - a.y) * ny;
            quadMin = j == 0 ? d : std::min(quadMin, d);
            quadMax = j == 0 ? d : std::max(quadMax, d);
        }
        double gridMin = 0, gridMax = 0;
        for (int j = 0; j < 4; ++j) {
            const double d = (corners[j].x - a.x) * nx + (corners[j].y - a.y) * ny;
            gridMin = j == 0 ? d : std::min(gridMin, d);
            gridMax = j == 0 ? d : std::max(gridMax, d);
        }
        if (gridMax < quadMin || gridMin > quadMax) return false;
    }
    return true;
}

std::vector<GridKey> visibleGrids(const MapViewState& s, int level) {
    const auto quad = visibleQuad(s);
    if (!quad) return {};
    const int shift = 28 - level;
    const auto first = [&](int32_t v) { return static_cast<uint32_t>(std::max(v, 0)) >> shift; };
    const uint32_t x0 = first(s.visibleMinX), x1 = first(s.visibleMaxX);
    const uint32_t y0 = first(s.visibleMinY), y1 = first(s.visibleMaxY);
    if ((size_t(x1 - x0) + 1) * (size_t(y1 - y0) + 1) > kMaxVisibleGrids * 16) return {};
    std::vector<GridKey> grids;
    for (uint32_t y = y0; y <= y1; ++y) {
        for (uint32_t x = x0; x <= x1; ++x) {
            const GridKey grid{level, x, y};
            if (intersectsQuad(grid, *quad)) grids.push_back(grid);
        }
    }
    if (grids.size() > kMaxVisibleGrids) return {};
    const double cx = s.centerX, cy = s.centerY;
    const auto distance = [&](const GridKey& g) {
        const double half = g.side() / 2.0;
        return std::hypot(g.x * double(g.side()) + half - cx, g.y * double(g.side()) + half - cy);
    };
    std::stable_sort(grids.begin(), grids.end(),
                     [&](const GridKey& a, const GridKey& b) { return distance(a) < distance(b); });
    return grids;
}

}  // namespace view_geometry

using namespace view_geometry;

extern "C" {

void mapEngineGetCenter(const MapViewState* state, uint32_t* x, uint32_t* y) {
    if (state == nullptr) return;
    if (x != nullptr) *x = state->centerX;
    if (y != nullptr) *y = state->centerY;
}

void mapEngineSetCenter(MapViewState* state, int32_t x, int32_t y) {
    if (state == nullptr) return;
    // Negative centres must not wrap to huge unsigned values.
    state->centerX = static_cast<uint32_t>(std::clamp<int64_t>(x, 0, kMaxMapCoordinate));
    state->centerY = static_cast<uint32_t>(std::clamp<int64_t>(y, 0, kMaxMapCoordinate));
    recomputeReference(*state);
}

float mapEngineGetZoomLevel(const MapViewState* state) {
    return state != nullptr ? state->zoomLevel : 0.0f;
}

void mapEngineSetZoomLevel(MapViewState* state, float zoomLevel) {
    if (state == nullptr || !std::isfinite(zoomLevel)) return;
    if (zoomLevel < kMinZoomLevel) {
        state->zoomLevel = kMinZoomLevel;
    } else if (std::floor(zoomLevel) > kMaxZoomLevel) {
        return;
    } else {
        state->zoomLevel = zoomLevel;
    }
    recomputeReference(*state);
}

float mapEngineMaxZoomLevel(void) { return kMaxZoomLevel; }
float mapEngineMinZoomLevel(void) { return kMinZoomLevel; }

float mapEngineGetRotation(const MapViewState* state) {
    return state != nullptr ? state->rotation : 0.0f;
}

void mapEngineSetRotation(MapViewState* state, float degrees) {
    if (state == nullptr || !std::isfinite(degrees)) return;
    state->rotation = degrees;
}

float mapEngineGetCameraPitch(const MapViewState* state) {
    return state != nullptr ? state->cameraPitch : 0.0f;
}

void mapEngineSetCameraPitch(MapViewState* state, float degrees) {
    if (state == nullptr || !std::isfinite(degrees)) return;
    state->cameraPitch = std::clamp(degrees, 0.0f, kMaxCameraPitch);
}

void mapEngineUpdateView(MapViewState* state) {
    if (state == nullptr) return;
    recomputeReference(*state);
    computeMatrices(*state);
    computeVisibleBounds(*state);
}

void mapEngineMapToGL(const MapViewState* state, int32_t mapX, int32_t mapY, float* glX,
                      float* glY) {
    if (state == nullptr || glX == nullptr || glY == nullptr || !hasScale(*state)) return;
    *glX = static_cast<float>((double(mapX) - state->originX) / state->mapUnitsPerGLX);
    *glY = static_cast<float>((double(mapY) - state->originY) / state->mapUnitsPerGLY);
}

void viewStateMapToGL(const MapViewState* state, int32_t mapX, int32_t mapY, float* glX,
                      float* glY) {
    mapEngineMapToGL(state, mapX, mapY, glX, glY);
}

void mapEngineGLToMap(const MapViewState* state, int32_t* mapX, int32_t* mapY, float glX,
                      float glY) {
    if (state == nullptr || mapX == nullptr || mapY == nullptr || !hasScale(*state)) return;
    if (!std::isfinite(glX) || !std::isfinite(glY)) return;
    *mapX = saturatingCast<std::int32_t>(std::trunc(double(glX) * state->mapUnitsPerGLX) +
                                         state->originX);
    *mapY = saturatingCast<std::int32_t>(std::trunc(double(glY) * state->mapUnitsPerGLY) +
                                         state->originY);
}

void mapEngineGLToScreen(const MapViewState* state, double* screenX, double* screenY, float glX,
                         float glY) {
    if (state == nullptr || screenX == nullptr || screenY == nullptr || !hasViewport(*state)) {
        return;
    }
    const Mat4 m =
        multiply(fromFloats(state->projectionMatrix), fromFloats(state->modelviewMatrix));
    glToScreen(m.data(), state->viewport, screenX, screenY, glX, glY);
}

void mapEngineMakeScreenTransform(const MapViewState* state, MapScreenTransform* transform) {
    if (transform == nullptr) return;
    *transform = {};
    if (state == nullptr) return;
    transform->hasScale = hasScale(*state);
    transform->hasViewport = hasViewport(*state);
    transform->originX = state->originX;
    transform->originY = state->originY;
    transform->mapUnitsPerGLX = state->mapUnitsPerGLX;
    transform->mapUnitsPerGLY = state->mapUnitsPerGLY;
    std::copy(std::begin(state->viewport), std::end(state->viewport), transform->viewport);
    if (!transform->hasViewport) return;
    const Mat4 m =
        multiply(fromFloats(state->projectionMatrix), fromFloats(state->modelviewMatrix));
    std::copy(m.begin(), m.end(), transform->matrix);
}

// The steps of mapEngineMapToGL and mapEngineGLToScreen, in the same arithmetic.
void mapEngineMapToScreen(const MapScreenTransform* transform, int32_t mapX, int32_t mapY,
                          double* screenX, double* screenY) {
    if (transform == nullptr || screenX == nullptr || screenY == nullptr || !transform->hasScale ||
        !transform->hasViewport)
        return;
    const auto glX =
        static_cast<float>((double(mapX) - transform->originX) / transform->mapUnitsPerGLX);
    const auto glY =
        static_cast<float>((double(mapY) - transform->originY) / transform->mapUnitsPerGLY);
    glToScreen(transform->matrix, transform->viewport, screenX, screenY, glX, glY);
}

void mapEngineScreenToGL(const MapViewState* state, float* glX, float* glY, double screenX,
                         double screenY) {
    if (state == nullptr || glX == nullptr || glY == nullptr || !hasViewport(*state)) return;
    if (!std::isfinite(screenX) || !std::isfinite(screenY)) return;
    const auto inverse =
        invert(multiply(fromFloats(state->projectionMatrix), fromFloats(state->modelviewMatrix)));
    if (!inverse) return;
    const double ndcX = (screenX - state->viewport[0]) / state->viewport[2] * 2 - 1;
    const double ndcY = 1 - (screenY - state->viewport[1]) / state->viewport[3] * 2;
    auto nearPoint = transform(inverse->data(), ndcX, ndcY, -1, 1);
    auto farPoint = transform(inverse->data(), ndcX, ndcY, 1, 1);
    if (nearPoint[3] == 0 || farPoint[3] == 0) return;
    for (int i = 0; i < 3; ++i) {
        nearPoint[i] /= nearPoint[3];
        farPoint[i] /= farPoint[3];
    }
    // Where the ray through the pixel meets the ground plane z = 0; none above the horizon.
    const double dz = farPoint[2] - nearPoint[2];
    if (dz == 0) return;
    const double t = -nearPoint[2] / dz;
    if (t < 0 || !std::isfinite(t)) return;
    *glX = static_cast<float>(nearPoint[0] + t * (farPoint[0] - nearPoint[0]));
    *glY = static_cast<float>(nearPoint[1] + t * (farPoint[1] - nearPoint[1]));
}

float mapEngineMapLengthAtCenter(const MapViewState* state, int pixels) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    if (state == nullptr) return nan;
    const double cx = state->viewport[0] + state->viewport[2] / 2.0;
    const double cy = state->viewport[1] + state->viewport[3] / 2.0;
    float ax = nan, ay = nan, bx = nan, by = nan;
    mapEngineScreenToGL(state, &ax, &ay, cx, cy);
    mapEngineScreenToGL(state, &bx, &by, cx + pixels, cy);
    return static_cast<float>(std::hypot((double(bx) - ax) * state->mapUnitsPerGLX,
                                         (double(by) - ay) * state->mapUnitsPerGLY));
}

float mapEngineMapLengthForPixels(const MapViewState* state, int32_t pixels) {
    return state != nullptr ? static_cast<float>(pixels) * state->mapUnitsPerPixel : 0.0f;
}

int mapEngineCoordinateToMapPoint(int32_t* x, int32_t* y, double longitude, double latitude) {
    if (x == nullptr || y == nullptr || !std::isfinite(longitude) || !std::isfinite(latitude)) {
        return -1;
    }
    const double lon = std::clamp(longitude, -180.0, 180.0);
    const double lat = std::clamp(latitude, -kMaxLatitude, kMaxLatitude);
    const double phi = lat * kPi / 180;
    const double mx = (lon + 180) / 360 * kWorldSize;
    // ln(tan(pi/4 + phi/2)) written through the sine: the same value, one transcendental less.
    const double sinPhi = std::sin(phi);
    // One product in place of the two divisions that lay on the longest path.
    const double my =
        kWorldSize / 2.0 - std::log((1 + sinPhi) / (1 - sinPhi)) * (kWorldSize / (4 * kPi));
    const double limit = kMaxMapCoordinate;
    // Rounded half up: once clamped the value is not negative, so truncating floors it, in one
    // conversion where floor takes a long sequence on the baseline instruction set.
    *x = static_cast<int32_t>(std::clamp(mx + 0.5, 0.0, limit));
    *y = static_cast<int32_t>(std::clamp(my + 0.5, 0.0, limit));
    return 0;
}

int mapEngineMapPointToCoordinate(int32_t x, int32_t y, double* longitude, double* latitude) {
    if (longitude != nullptr) *longitude = double(x) / kWorldSize * 360 - 180;
    if (latitude != nullptr) {
        const double n = kPi - 2 * kPi * double(y) / kWorldSize;
        *latitude = (2 * std::atan(std::exp(n)) - kPi / 2) * 180 / kPi;
    }
    return 0;
}

// No offset region is configured, so every coordinate is shown where it is.
void offsetCoordinate(double* longitudeOut, double* latitudeOut, double longitude,
                      double latitude) {
    if (longitudeOut != nullptr) *longitudeOut = longitude;
    if (latitudeOut != nullptr) *latitudeOut = latitude;
}

}  // extern "C"

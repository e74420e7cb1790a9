#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "vmap_core/MapEngine.h"

namespace {

constexpr int32_t kMax = (1 << 28) - 1;

struct MapPoint {
    int32_t x;
    int32_t y;
};

MapPoint toMap(double lon, double lat) {
    MapPoint p{-1, -1};
    EXPECT_EQ(mapEngineCoordinateToMapPoint(&p.x, &p.y, lon, lat), 0);
    return p;
}

TEST(CoordinateToMapPoint, CornersClampsKnownPlacesAndHalfUnits) {
    // 45 * 2^-26 degrees is exactly half a map unit east of the meridian; the step lies well
    // above the precision of lon + 180.
    const double half = 45.0 / (1 << 26), step = std::ldexp(1.0, -40);
    const struct {
        double lon, lat;
        int32_t x, y;  // -1: not checked
    } cases[] = {
        {0, 0, 134217728, 134217728},
        {180, 0, kMax, -1},
        {-180, 0, 0, -1},
        {250, 0, kMax, -1},
        {-250, 0, 0, -1},
        {0, 85.0511287798, -1, 0},
        {0, 90, -1, 0},
        {0, -85.0511287798, -1, kMax},
        {180, -90, kMax, kMax},
        {116.406026, 39.911447, 221016352, 101710209},
        {116.3683244, 39.915085, 220988240, 101706672},
        {0, 45, -1, 96562954},
        {half, 0, 134217729, -1},
        {half - step, 0, 134217728, -1},
        {-half, 0, 134217728, -1},
        {-half - step, 0, 134217727, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lon << "," << c.lat);
        const MapPoint p = toMap(c.lon, c.lat);
        if (c.x >= 0) {
            EXPECT_EQ(p.x, c.x);
        }
        if (c.y >= 0) {
            EXPECT_EQ(p.y, c.y);
        }
    }
}

TEST(CoordinateToMapPoint, NonFiniteWritesNothing) {
    const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (const double v : bad) {
        int32_t x = 7, y = 9;
        EXPECT_NE(mapEngineCoordinateToMapPoint(&x, &y, v, 10), 0);
        EXPECT_NE(mapEngineCoordinateToMapPoint(&x, &y, 10, v), 0);
        EXPECT_EQ(x, 7);
        EXPECT_EQ(y, 9);
    }
}

TEST(MapPointToCoordinate, InverseAndRoundTrip) {
    double lon = 1, lat = 1;
    EXPECT_EQ(mapEngineMapPointToCoordinate(134217728, 134217728, &lon, &lat), 0);
    EXPECT_DOUBLE_EQ(lon, 0);
    EXPECT_NEAR(lat, 0, 1e-12);
    mapEngineMapPointToCoordinate(0, 0, &lon, &lat);
    EXPECT_DOUBLE_EQ(lon, -180);
    EXPECT_NEAR(lat, 85.0511287798, 1e-9);

    // Back and forth lands within one map unit everywhere on the plane.
    for (double la = -85; la <= 85; la += 4.25) {
        for (double lo = -179.5; lo <= 179.5; lo += 7.3) {
            const MapPoint p = toMap(lo, la);
            double lo2 = 0, la2 = 0;
            mapEngineMapPointToCoordinate(p.x, p.y, &lo2, &la2);
            const MapPoint q = toMap(lo2, la2);
            EXPECT_LE(std::abs(q.x - p.x), 1) << lo << "," << la;
            EXPECT_LE(std::abs(q.y - p.y), 1) << lo << "," << la;
            // A map unit is far below a metre, so the coordinate itself comes back closely.
            EXPECT_NEAR(lo2, lo, 360.0 / (1 << 28));
            EXPECT_NEAR(la2, la, 360.0 / (1 << 28));
        }
    }
}

class ViewStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MapViewState* copy = mapEngineCopyProjection(nullptr);
        state = *copy;
        mapEngineFreeProjection(copy);
        mapEngineFreeProjection(nullptr);
        state.viewport[2] = 640;
        state.viewport[3] = 960;
        const MapPoint centre = toMap(116.406026, 39.911447);
        mapEngineSetCenter(&state, centre.x, centre.y);
        mapEngineSetZoomLevel(&state, 15.3f);
        mapEngineUpdateView(&state);
    }

    void expectScreenRoundTrip() {
        for (float gx = -300; gx <= 300; gx += 37.5f) {
            for (float gy = -300; gy <= 300; gy += 37.5f) {
                double sx = std::nan(""), sy = std::nan("");
                mapEngineGLToScreen(&state, &sx, &sy, gx, gy);
                ASSERT_TRUE(std::isfinite(sx) && std::isfinite(sy)) << gx << "," << gy;
                float bx = std::nanf(""), by = std::nanf("");
                mapEngineScreenToGL(&state, &bx, &by, sx, sy);
                EXPECT_NEAR(bx, gx, 1e-3) << gx << "," << gy;
                EXPECT_NEAR(by, gy, 1e-3) << gx << "," << gy;
            }
        }
    }

    // Where a map point this far from the centre shows on the 640 x 960 screen.
    std::pair<double, double> screenOf(int32_t dx, int32_t dy) {
        float gx = 0, gy = 0;
        mapEngineMapToGL(&state, static_cast<int32_t>(state.centerX) + dx,
                         static_cast<int32_t>(state.centerY) + dy, &gx, &gy);
        double sx = 0, sy = 0;
        mapEngineGLToScreen(&state, &sx, &sy, gx, gy);
        return {sx, sy};
    }

    MapViewState state{};
};

TEST_F(ViewStateTest, NonFiniteInputsAndMissingScalesChangeAndWriteNothing) {
    mapEngineSetRotation(&state, 10);
    mapEngineSetCameraPitch(&state, 20);
    mapEngineUpdateView(&state);
    const MapViewState before = state;
    const float bad[] = {std::nanf(""), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (const float v : bad) {
        mapEngineSetZoomLevel(&state, v);
        mapEngineSetRotation(&state, v);
        mapEngineSetCameraPitch(&state, v);
        mapEngineUpdateView(&state);
    }
    EXPECT_EQ(std::memcmp(&before, &state, sizeof state), 0);

    // Projections without a scale, or of a non-finite point, write nothing.
    MapViewState empty{};
    float gx = 5, gy = 6;
    mapEngineMapToGL(&empty, 100, 200, &gx, &gy);
    viewStateMapToGL(&empty, 100, 200, &gx, &gy);
    EXPECT_EQ(gx, 5);
    EXPECT_EQ(gy, 6);
    int32_t mx = 7, my = 8;
    mapEngineGLToMap(&empty, &mx, &my, 1, 1);
    mapEngineGLToMap(&state, &mx, &my, std::nanf(""), 1);
    EXPECT_EQ(mx, 7);
    EXPECT_EQ(my, 8);
    double sx = 1, sy = 2;
    mapEngineGLToScreen(&empty, &sx, &sy, 0, 0);
    EXPECT_EQ(sx, 1);
    EXPECT_TRUE(std::isnan(mapEngineMapLengthAtCenter(&empty, 10)));
}

TEST_F(ViewStateTest, AnyZoomInTheRecordMapsToALevel) {
    // Callers may write the record's zoom directly; the level it selects stays within 0..20.
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kLargest = std::numeric_limits<float>::max();
    const std::pair<float, float> cases[] = {
        {15.3f, 32.0f},       {1e10f, 1.0f},    {kLargest, 1.0f},
        {kInf, 1.0f},         {25.5f, 1.0f},    {-1e10f, 1 << 20},
        {-kLargest, 1 << 20}, {-kInf, 1 << 20}, {std::nanf(""), 1 << 20},
        {-0.5f, 1 << 20},
    };
    for (const auto& [zoom, unitsPerGL] : cases) {
        SCOPED_TRACE(zoom);
        state.zoomLevel = zoom;
        mapEngineUpdateView(&state);
        EXPECT_EQ(state.mapUnitsPerGLX, unitsPerGL);
        EXPECT_EQ(state.mapUnitsPerGLY, unitsPerGL);
        EXPECT_GE(state.originX, 0);
        EXPECT_LE(state.originX, kMax);
        EXPECT_GE(state.visibleMinX, 0);
        EXPECT_LE(state.visibleMaxX, kMax);
    }
}

TEST_F(ViewStateTest, MapToGLAndBackWithinOneUnit) {
    // Level 15: 32 map units per GL unit, origin at the corner of the grid holding the centre.
    EXPECT_EQ(state.mapUnitsPerGLX, 32.0f);
    EXPECT_EQ(state.mapUnitsPerGLY, 32.0f);
    EXPECT_EQ(state.originX % (1 << 13), 0);
    EXPECT_EQ(state.originY % (1 << 13), 0);
    for (int32_t dx = -40000; dx <= 40000; dx += 3331) {
        for (int32_t dy = -40000; dy <= 40000; dy += 2917) {
            const int32_t mx = static_cast<int32_t>(state.centerX) + dx;
            const int32_t my = static_cast<int32_t>(state.centerY) + dy;
            float gx = 0, gy = 0;
            mapEngineMapToGL(&state, mx, my, &gx, &gy);
            EXPECT_FLOAT_EQ(gx, (mx - state.originX) / 32.0f);
            int32_t bx = 0, by = 0;
            mapEngineGLToMap(&state, &bx, &by, gx, gy);
            EXPECT_LE(std::abs(bx - mx), 1);
            EXPECT_LE(std::abs(by - my), 1);
        }
    }
    // Truncation toward zero on both sides of the origin.
    int32_t bx = 0, by = 0;
    mapEngineGLToMap(&state, &bx, &by, -0.99f, 0.99f);
    EXPECT_EQ(bx, state.originX - 31);
    EXPECT_EQ(by, state.originY + 31);
}

TEST_F(ViewStateTest, ScreenRoundTripTiltedAndTurned) {
    mapEngineSetCameraPitch(&state, 45);
    mapEngineSetRotation(&state, 30);
    mapEngineUpdateView(&state);
    expectScreenRoundTrip();
    // The centre lies in the middle of the screen, however the view is turned.
    const auto [cx, cy] = screenOf(0, 0);
    EXPECT_NEAR(cx, 320, 1e-3);
    EXPECT_NEAR(cy, 480, 1e-3);
    mapEngineSetCameraPitch(&state, 65);
    mapEngineUpdateView(&state);
    expectScreenRoundTrip();
}

// Made once for many points, the transform gives each the bits the two steps give, however the
// camera is turned and tilted, and leaves its outputs behind the camera and without a viewport.
TEST_F(ViewStateTest, AScreenTransformGivesWhatMapToGLAndGLToScreenGive) {
    const std::pair<float, float> cameras[] = {{0, 0}, {30, 45}, {200, 65}, {359.5f, 12}};
    int allBehind = 0;
    for (const auto& [rotation, pitch] : cameras) {
        SCOPED_TRACE(rotation);
        mapEngineSetRotation(&state, rotation);
        mapEngineSetCameraPitch(&state, pitch);
        mapEngineUpdateView(&state);
        MapScreenTransform transform;
        mapEngineMakeScreenTransform(&state, &transform);
        int behind = 0;
        for (int32_t dx = -3000000; dx <= 3000000; dx += 123457) {
            for (int32_t dy = -3000000; dy <= 3000000; dy += 98765) {
                const int32_t mx = static_cast<int32_t>(state.centerX) + dx;
                const int32_t my = static_cast<int32_t>(state.centerY) + dy;
                float gx = 0, gy = 0;
                mapEngineMapToGL(&state, mx, my, &gx, &gy);
                double sx = -1, sy = -2;
                mapEngineGLToScreen(&state, &sx, &sy, gx, gy);
                double tx = -1, ty = -2;
                mapEngineMapToScreen(&transform, mx, my, &tx, &ty);
                ASSERT_EQ(std::memcmp(&sx, &tx, sizeof sx), 0) << dx << "," << dy;
                ASSERT_EQ(std::memcmp(&sy, &ty, sizeof sy), 0) << dx << "," << dy;
                if (tx == -1) ++behind;
            }
        }
        // Looking straight down nothing is behind the camera; tilted, the far points are.
        if (pitch == 0) {
            EXPECT_EQ(behind, 0);
        }
        allBehind += behind;
    }
    EXPECT_GT(allBehind, 0);
    MapViewState empty{};
    MapScreenTransform none;
    mapEngineMakeScreenTransform(&empty, &none);
    double sx = 1, sy = 2;
    mapEngineMapToScreen(&none, 100, 200, &sx, &sy);
    EXPECT_EQ(sx, 1);
    EXPECT_EQ(sy, 2);
}

TEST_F(ViewStateTest, RotationTurnsTheHeadingClockwise) {
    // Heading east: a place east of the centre shows straight above it.
    mapEngineSetRotation(&state, 90);
    mapEngineUpdateView(&state);
    const int32_t d = 2600;
    const auto [sx, sy] = screenOf(d, 0);
    EXPECT_NEAR(sx, 320, 0.01);
    EXPECT_NEAR(sy, 480 - d / state.mapUnitsPerPixel, 0.01);
}

TEST_F(ViewStateTest, PitchForeshortensWhatLiesAhead) {
    const int32_t d = 5200;
    const double flatY = 480 - d / state.mapUnitsPerPixel;
    EXPECT_NEAR(screenOf(0, -d).second, flatY, 0.01);
    mapEngineSetCameraPitch(&state, 45);
    mapEngineUpdateView(&state);
    const double tilted = screenOf(0, -d).second;
    EXPECT_LT(tilted, 480);
    EXPECT_GT(tilted, flatY);
    // Tilting shows more ground: the visible box grows northwards.
    MapViewState flat = state;
    mapEngineSetCameraPitch(&flat, 0);
    mapEngineUpdateView(&flat);
    EXPECT_LT(state.visibleMinY, flat.visibleMinY);
}

}  // namespace

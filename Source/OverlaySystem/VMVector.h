#pragma once

#include <vector>

// Overlay geometry works in floats in GL coordinates; only x and y take part, z is carried.
template <typename T>
struct Vector3 {
    T x = 0;
    T y = 0;
    T z = 0;
    bool operator==(const Vector3&) const = default;
};

template <typename T>
struct Vector4 {
    T x = 0;
    T y = 0;
    T z = 0;
    T w = 0;
    bool operator==(const Vector4&) const = default;
};

using VMPointList = std::vector<Vector3<float>>;
using VMPolygonList = std::vector<VMPointList>;

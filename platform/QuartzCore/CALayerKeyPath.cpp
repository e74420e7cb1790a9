#include "CALayerKeyPath.h"

#include <cmath>

namespace {

using Kind = CAValue::Kind;

// Sub-paths of "transform": scale, rotation and translation read from and written into the
// matrix while its other parts stay.
double rowLength(const CATransform3D& t, int row) {
    switch (row) {
        case 0:
            return std::hypot(t.m11, t.m12, t.m13);
        case 1:
            return std::hypot(t.m21, t.m22, t.m23);
        default:
            return std::hypot(t.m31, t.m32, t.m33);
    }
}

void scaleRow(CATransform3D& t, int row, double scale) {
    CGFloat* r = row == 0 ? &t.m11 : row == 1 ? &t.m21 : &t.m31;
    const double len = rowLength(t, row);
    if (len == 0) {
        r[row] = scale;
        return;
    }
    for (int i = 0; i < 3; ++i) r[i] *= scale / len;
}

std::optional<double> transformPart(const CATransform3D& t, std::string_view part) {
    if (part == "scale" || part == "scale.x") return rowLength(t, 0);
    if (part == "scale.y") return rowLength(t, 1);
    if (part == "scale.z") return rowLength(t, 2);
    if (part == "rotation" || part == "rotation.z") return std::atan2(t.m12, t.m11);
    if (part == "translation.x") return t.m41;
    if (part == "translation.y") return t.m42;
    if (part == "translation.z") return t.m43;
    return std::nullopt;
}

bool setTransformPart(CATransform3D& t, std::string_view part, double x) {
    if (part == "scale") {
        for (int row = 0; row < 3; ++row) scaleRow(t, row, x);
    } else if (part == "scale.x") {
        scaleRow(t, 0, x);
    } else if (part == "scale.y") {
        scaleRow(t, 1, x);
    } else if (part == "scale.z") {
        scaleRow(t, 2, x);
    } else if (part == "rotation" || part == "rotation.z") {
        const double sx = std::hypot(t.m11, t.m12), sy = std::hypot(t.m21, t.m22);
        const double c = std::cos(x), s = std::sin(x);
        t.m11 = sx * c, t.m12 = sx * s, t.m21 = -sy * s, t.m22 = sy * c;
    } else if (part == "translation.x") {
        t.m41 = x;
    } else if (part == "translation.y") {
        t.m42 = x;
    } else if (part == "translation.z") {
        t.m43 = x;
    } else {
        return false;
    }
    return true;
}

template <class T>
bool assign(T& field, const CAValue& value, Kind kind, T (CAValue::*get)() const) {
    if (value.kind != kind) return false;
    field = (value.*get)();
    return true;
}

bool assignNumber(auto& field, const CAValue& value) {
    if (value.kind != Kind::Number) return false;
    field = static_cast<std::remove_reference_t<decltype(field)>>(value.number());
    return true;
}

}  // namespace

std::optional<CAValue> CALayerValueForKeyPath(const CALayerPresentation& v,
                                              std::string_view keyPath) {
    if (keyPath == "position") return CAValue(v.position);
    if (keyPath == "position.x") return CAValue(v.position.x);
    if (keyPath == "position.y") return CAValue(v.position.y);
    if (keyPath == "bounds") return CAValue(v.bounds);
    if (keyPath == "bounds.origin") return CAValue(v.bounds.origin);
    if (keyPath == "bounds.size") return CAValue(v.bounds.size);
    if (keyPath == "bounds.size.width") return CAValue(v.bounds.size.width);
    if (keyPath == "bounds.size.height") return CAValue(v.bounds.size.height);
    if (keyPath == "anchorPoint") return CAValue(v.anchorPoint);
    if (keyPath == "zPosition") return CAValue(v.zPosition);
    if (keyPath == "transform") return CAValue(v.transform);
    if (keyPath.starts_with("transform.")) {
        if (auto x = transformPart(v.transform, keyPath.substr(10))) return CAValue(*x);
        return std::nullopt;
    }
    if (keyPath == "opacity") return CAValue(static_cast<double>(v.opacity));
    if (keyPath == "hidden") return CAValue(v.hidden ? 1.0 : 0.0);
    if (keyPath == "backgroundColor") return CAValue(v.backgroundColor);
    if (keyPath == "cornerRadius") return CAValue(v.cornerRadius);
    if (keyPath == "borderWidth") return CAValue(v.borderWidth);
    if (keyPath == "borderColor") return CAValue(v.borderColor);
    if (keyPath == "shadowColor") return CAValue(v.shadowColor);
    if (keyPath == "shadowOpacity") return CAValue(static_cast<double>(v.shadowOpacity));
    if (keyPath == "shadowOffset") return CAValue(v.shadowOffset);
    if (keyPath == "shadowRadius") return CAValue(v.shadowRadius);
    if (keyPath == "contentsRect") return CAValue(v.contentsRect);
    return std::nullopt;
}

bool CALayerSetValueForKeyPath(CALayerPresentation& v, std::string_view keyPath,
                               const CAValue& value) {
    if (keyPath == "position") return assign(v.position, value, Kind::Point, &CAValue::pointValue);
    if (keyPath == "position.x") return assignNumber(v.position.x, value);
    if (keyPath == "position.y") return assignNumber(v.position.y, value);
    if (keyPath == "bounds") return assign(v.bounds, value, Kind::Rect, &CAValue::rectValue);
    if (keyPath == "bounds.origin")
        return assign(v.bounds.origin, value, Kind::Point, &CAValue::pointValue);
    if (keyPath == "bounds.size")
        return assign(v.bounds.size, value, Kind::Size, &CAValue::sizeValue);
    if (keyPath == "bounds.size.width") return assignNumber(v.bounds.size.width, value);
    if (keyPath == "bounds.size.height") return assignNumber(v.bounds.size.height, value);
    if (keyPath == "anchorPoint")
        return assign(v.anchorPoint, value, Kind::Point, &CAValue::pointValue);
    if (keyPath == "zPosition") return assignNumber(v.zPosition, value);
    if (keyPath == "transform")
        return assign(v.transform, value, Kind::Transform, &CAValue::transformValue);
    if (keyPath.starts_with("transform.")) {
        if (value.kind != Kind::Number) return false;
        return setTransformPart(v.transform, keyPath.substr(10), value.number());
    }
    if (keyPath == "opacity") return assignNumber(v.opacity, value);
    if (keyPath == "hidden") {
        if (value.kind != Kind::Number) return false;
        v.hidden = value.number() >= 0.5;
        return true;
    }
    if (keyPath == "backgroundColor")
        return assign(v.backgroundColor, value, Kind::Color, &CAValue::colorValue);
    if (keyPath == "cornerRadius") return assignNumber(v.cornerRadius, value);
    if (keyPath == "borderWidth") return assignNumber(v.borderWidth, value);
    if (keyPath == "borderColor")
        return assign(v.borderColor, value, Kind::Color, &CAValue::colorValue);
    if (keyPath == "shadowColor")
        return assign(v.shadowColor, value, Kind::Color, &CAValue::colorValue);
    if (keyPath == "shadowOpacity") return assignNumber(v.shadowOpacity, value);
    if (keyPath == "shadowOffset")
        return assign(v.shadowOffset, value, Kind::Size, &CAValue::sizeValue);
    if (keyPath == "shadowRadius") return assignNumber(v.shadowRadius, value);
    if (keyPath == "contentsRect")
        return assign(v.contentsRect, value, Kind::Rect, &CAValue::rectValue);
    return false;
}

#include "VMHeatMapTileProvider.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "Foundation/SaturatingCast.h"

namespace {

using RGBA = ColorRamp::RGBA;

struct ColorRampSegment {
    RGBA from;
    RGBA to;
    float length = 0;
};

struct HSV {
    double h = 0;  // degrees
    double s = 0;  // 0..1
    double v = 0;  // 0..255
};

HSV toHSV(const RGBA& c) {
    const double r = c[0], g = c[1], b = c[2];
    const double max = std::max({r, g, b});
    const double delta = max - std::min({r, g, b});
    HSV out{0, max > 0 ? delta / max : 0, max};
    if (delta <= 0) return out;
    if (max == r) {
        out.h = 60 * ((g - b) / delta);
    } else if (max == g) {
        out.h = 60 * ((b - r) / delta) + 120;
    } else {
        out.h = 60 * ((r - g) / delta) + 240;
    }
    if (out.h < 0) out.h += 360;
    return out;
}

// A wrapped hue past 360 continues from 0 (so yellow to magenta passes through red).
RGBA fromHSV(HSV c, int alpha) {
    if (c.s <= 0) {
        const int grey = saturatingCast<int>(c.v);
        return {grey, grey, grey, alpha};
    }
    const double h = std::fmod(c.h, 360.0) / 60.0;
    const int sector = static_cast<int>(h);
    const double f = h - sector;
    const double p = c.v * (1 - c.s);
    const double q = c.v * (1 - c.s * f);
    const double t = c.v * (1 - c.s * (1 - f));
    double r = c.v, g = t, b = p;
    switch (sector) {
        case 0:
            r = c.v, g = t, b = p;
            break;
        case 1:
            r = q, g = c.v, b = p;
            break;
        case 2:
            r = p, g = c.v, b = t;
            break;
        case 3:
            r = p, g = q, b = c.v;
            break;
        case 4:
            r = t, g = p, b = c.v;
            break;
        default:
            r = c.v, g = p, b = q;
            break;
    }
    return {saturatingCast<int>(r), saturatingCast<int>(g), saturatingCast<int>(b), alpha};
}

RGBA interpolate(const RGBA& from, const RGBA& to, double f) {
    HSV a = toHSV(from);
    HSV b = toHSV(to);
    if (a.h - b.h > 180) {
        b.h += 360;
    } else if (b.h - a.h > 180) {
        a.h += 360;
    }
    const HSV mixed{a.h + (b.h - a.h) * f, a.s + (b.s - a.s) * f, a.v + (b.v - a.v) * f};
    return fromHSV(mixed, saturatingCast<int>(from[3] + (to[3] - from[3]) * f));
}

RGBA rgbaOf(const UIColorRef& color) {
    const CGColor c = CGColorOf(color);
    return {saturatingCast<int>(c.r * 255), saturatingCast<int>(c.g * 255),
            saturatingCast<int>(c.b * 255), saturatingCast<int>(c.a * 255)};
}

std::vector<float> gaussianKernel(int reach, float sigma) {
    std::vector<float> kernel(2 * reach + 1, 1.0f);
    if (sigma <= 0) return kernel;
    for (int t = -reach; t <= reach; ++t) {
        kernel[reach + t] = std::exp(-static_cast<float>(t * t) / (2 * sigma * sigma));
    }
    return kernel;
}

uint8_t clampedByte(double component) {
    return static_cast<uint8_t>(std::clamp(component, 0.0, 255.0));
}

}  // namespace

std::optional<ColorRamp> ColorRamp::make(std::span<const UIColorRef> colors,
                                         std::span<const double> startPoints, double opacity) {
    std::vector<double> points;
    for (double p : startPoints) {
        if (p > 0 && p < 1) points.push_back(p);
    }
    std::vector<RGBA> rgba;
    for (const auto& color : colors) {
        if (rgba.size() >= points.size()) break;
        rgba.push_back(rgbaOf(color));
    }
    points.resize(std::min(points.size(), rgba.size()));
    if (points.empty() || points.size() != rgba.size()) return std::nullopt;

    const size_t k = points.size();
    std::map<int, ColorRampSegment> segments;
    RGBA transparentFirst = rgba[0];
    transparentFirst[3] = 0;
    segments[0] = {transparentFirst, rgba[0], static_cast<float>(kEntries * points[0])};
    for (size_t i = 0; i + 1 < k; ++i) {
        segments[static_cast<int>(kEntries * points[i])] = {
            rgba[i], rgba[i + 1], static_cast<float>(kEntries * (points[i + 1] - points[i]))};
    }
    segments[static_cast<int>(kEntries * points[k - 1])] = {
        rgba[k - 1], rgba[k - 1], static_cast<float>(kEntries * (1 - points[k - 1]))};

    ColorRamp ramp;
    const ColorRampSegment* current = nullptr;
    int start = 0;
    for (int e = 0; e < kEntries; ++e) {
        if (auto found = segments.find(e); found != segments.end()) {
            current = &found->second;
            start = e;
        }
        if (!current) continue;
        const double f = current->length > 0 ? (e - start) / double(current->length) : 0.0;
        ramp.entries[e] = interpolate(current->from, current->to, f);
    }
    if (opacity != 1) {
        for (auto& entry : ramp.entries) entry[3] = saturatingCast<int>(entry[3] * opacity);
    }
    return ramp;
}

std::optional<NSData> VMHeatMapTileProvider::heatMapWithRadius(
    float radius, std::span<const UIColorRef> colors, std::span<const double> startPoints,
    double opacity, std::span<const float> intensities, CGSize intensitiesRowColumn,
    float maxIntensities, float screenScale) {
    const auto ramp = ColorRamp::make(colors, startPoints, opacity);
    if (!ramp) return std::nullopt;

    const int reach = saturatingCast<int>(radius * screenScale);
    const int n = saturatingCast<int>(intensitiesRowColumn.width);
    const int m = n - 2 * reach;
    if (reach < 0 || m <= 0 || intensities.size() < size_t(n) * size_t(n)) return std::nullopt;
    const std::vector<float> kernel = gaussianKernel(reach, radius * screenScale / 3);
    const float wholeScale = static_cast<float>(std::max(1, saturatingCast<int>(screenScale)));
    const float splatShare = 1.0f / (wholeScale * wholeScale);

    // Separable blur over the non-zero cells only: along x into tmp, then along y into out.
    std::vector<float> tmp(size_t(n) * n, 0.0f);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const float v = intensities[size_t(i) * n + j];
            if (v == 0) continue;
            const float share = v * splatShare;
            const int last = std::min(i + reach, n - reach - 1);
            for (int k = std::max(reach, i - reach); k <= last; ++k) {
                tmp[size_t(k) * n + j] += share * kernel[k - i + reach];
            }
        }
    }
    std::vector<float> out(size_t(m) * m, 0.0f);
    for (int k = reach; k < n - reach; ++k) {
        for (int j = 0; j < n; ++j) {
            const float u = tmp[size_t(k) * n + j];
            if (u == 0) continue;
            const int last = std::min(j + reach, n - reach - 1);
            float* row = &out[size_t(k - reach) * m];
            for (int l = std::max(reach, j - reach); l <= last; ++l) {
                row[l - reach] += u * kernel[l - j + reach];
            }
        }
    }

    const double factor = 999.0 / maxIntensities;
    NSData pixels(size_t(m) * m * 4, 0);
    for (int y = 0; y < m; ++y) {
        for (int x = 0; x < m; ++x) {
            const float v = out[size_t(x) * m + y];
            if (v == 0) continue;
            const double scaled = factor * v;
            const int e = std::isfinite(scaled) ? saturatingCast<int>(scaled) : ColorRamp::kEntries;
            const RGBA& c =
                (e >= 0 && e < ColorRamp::kEntries) ? ramp->entries[e] : ramp->entries.back();
            const double a = c[3] / 255.0;
            uint8_t* px = &pixels[(size_t(y) * m + x) * 4];
            px[0] = clampedByte(a * c[0]);
            px[1] = clampedByte(a * c[1]);
            px[2] = clampedByte(a * c[2]);
            px[3] = clampedByte(c[3]);
        }
    }
    return pixels;
}

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the engine draws of a grid beyond its flat area: named points (labels, some of them
// points of interest that a touch can pick) and traffic segments. The layout is in README.md.
struct NamedPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool poi = false;
    std::u16string name;
};

struct TrafficSegment {
    std::uint8_t state = 0;  // 0 free flow, 1 slow, 2 congested, 3 standstill
    std::vector<std::pair<std::int32_t, std::int32_t>> points;
};

struct GridFeatures {
    std::vector<NamedPoint> points;
    std::vector<TrafficSegment> segments;
};

// Data without the block's mark has no features. Nothing when a block is cut short, names an
// unknown item, a state above 3, a segment of fewer than two points or a point off the plane.
std::optional<GridFeatures> parseGridFeatures(std::span<const std::uint8_t> data);

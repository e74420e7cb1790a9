#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A grid of the quadtree over the map plane: at level L the 2^28-unit world splits into 2^L grids
// per side.
struct GridKey {
    int level = 0;
    std::uint32_t x = 0;
    std::uint32_t y = 0;

    bool operator==(const GridKey&) const = default;
    auto operator<=>(const GridKey&) const = default;

    // Side length in map units.
    std::uint32_t side() const { return std::uint32_t{1} << (28 - level); }
    std::string quadKey() const;
    // Accepts 1..20 digits 0..3.
    static std::optional<GridKey> fromQuadKey(std::string_view name);
    // The grid at the level that holds the map point.
    static GridKey containing(int level, std::uint32_t mapX, std::uint32_t mapY);
};

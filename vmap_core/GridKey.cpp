#include "GridKey.h"

#include "MapEngine.h"

std::string GridKey::quadKey() const {
    std::string name(static_cast<size_t>(level), '0');
    for (int i = 0; i < level; ++i) {
        const int bit = level - 1 - i;
        name[static_cast<size_t>(i)] =
            static_cast<char>('0' + ((x >> bit) & 1u) + 2 * ((y >> bit) & 1u));
    }
    return name;
}

std::optional<GridKey> GridKey::fromQuadKey(std::string_view name) {
    if (name.empty() || name.size() > kGridNameMaxLength) return std::nullopt;
    GridKey key;
    key.level = static_cast<int>(name.size());
    for (const char digit : name) {
        if (digit < '0' || digit > '3') return std::nullopt;
        const unsigned value = static_cast<unsigned>(digit - '0');
        key.x = (key.x << 1) | (value & 1u);
        key.y = (key.y << 1) | (value >> 1);
    }
    return key;
}

GridKey GridKey::containing(int level, std::uint32_t mapX, std::uint32_t mapY) {
    const int shift = 28 - level;
    return GridKey{level, mapX >> shift, mapY >> shift};
}

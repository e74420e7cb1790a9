#include "GlyphStore.h"

void GlyphStore::put(std::uint16_t code, std::int32_t side, std::span<const std::uint8_t> alpha) {
    GlyphBitmap glyph{side, std::vector<std::uint8_t>(alpha.begin(), alpha.end())};
    std::lock_guard lock(mutex_);
    glyphs_[code] = std::move(glyph);
}

std::optional<GlyphBitmap> GlyphStore::find(std::uint16_t code) const {
    std::lock_guard lock(mutex_);
    const auto found = glyphs_.find(code);
    if (found == glyphs_.end()) return std::nullopt;
    return found->second;
}

void GlyphStore::putWidth(std::uint16_t code, float width) {
    std::lock_guard lock(mutex_);
    widths_[code] = width;
}

std::optional<float> GlyphStore::width(std::uint16_t code) const {
    std::lock_guard lock(mutex_);
    const auto found = widths_.find(code);
    if (found == widths_.end()) return std::nullopt;
    return found->second;
}

#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

// One label glyph as the engine keeps it: side × side bytes of alpha, row 0 at the top.
struct GlyphBitmap {
    std::int32_t side = 0;
    std::vector<std::uint8_t> alpha;
};

// The engine's glyphs by UTF-16 code unit. Filled from a worker thread while the main thread
// draws, so safe from any thread.
class GlyphStore {
  public:
    // Copies the bitmap; a later one for the same code replaces it.
    void put(std::uint16_t code, std::int32_t side, std::span<const std::uint8_t> alpha);
    std::optional<GlyphBitmap> find(std::uint16_t code) const;
    // Advance of the glyph in points of the label font; the bitmap's side is 24 points.
    void putWidth(std::uint16_t code, float width);
    std::optional<float> width(std::uint16_t code) const;

  private:
    mutable std::mutex mutex_;
    std::map<std::uint16_t, GlyphBitmap> glyphs_;
    std::map<std::uint16_t, float> widths_;
};

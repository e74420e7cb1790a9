#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Grid data carrying named points and traffic segments, laid out as the engine reads them.
class GridFeatureBytes {
  public:
    GridFeatureBytes() : bytes_{'V', 'M', 'F', '1'} {}

    GridFeatureBytes& point(int32_t x, int32_t y, const std::u16string& name, bool poi) {
        bytes_.push_back(1);
        coordinate(x);
        coordinate(y);
        bytes_.push_back(poi ? 1 : 0);
        bytes_.push_back(static_cast<uint8_t>(name.size()));
        for (const char16_t unit : name) {
            bytes_.push_back(static_cast<uint8_t>(unit & 0xFF));
            bytes_.push_back(static_cast<uint8_t>(unit >> 8));
        }
        return *this;
    }

    GridFeatureBytes& segment(uint8_t state, const std::vector<std::pair<int32_t, int32_t>>& pts) {
        bytes_.push_back(2);
        bytes_.push_back(state);
        bytes_.push_back(static_cast<uint8_t>(pts.size()));
        for (const auto& [x, y] : pts) {
            coordinate(x);
            coordinate(y);
        }
        return *this;
    }

    // Traffic grids put an entity tag and a time stamp before their data.
    std::vector<uint8_t> traffic() const {
        std::vector<uint8_t> out{0, 0, 0, 0, 0};
        out.insert(out.end(), bytes_.begin(), bytes_.end());
        return out;
    }

    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    void coordinate(int32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(uint32_t(v) >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
};

}  // namespace testsupport

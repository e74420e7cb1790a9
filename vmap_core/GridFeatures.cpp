#include "GridFeatures.h"

#include <cstring>

namespace {

constexpr char kMark[4] = {'V', 'M', 'F', '1'};
constexpr std::uint8_t kNamedPoint = 1;
constexpr std::uint8_t kTrafficSegment = 2;
constexpr std::int64_t kPlaneSide = std::int64_t{1} << 28;

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}
    bool atEnd() const { return at_ == data_.size(); }
    bool byte(std::uint8_t& out) {
        if (at_ + 1 > data_.size()) return false;
        out = data_[at_++];
        return true;
    }
    bool u16(std::uint16_t& out) {
        if (at_ + 2 > data_.size()) return false;
        out = static_cast<std::uint16_t>(data_[at_] | data_[at_ + 1] << 8);
        at_ += 2;
        return true;
    }
    // A map coordinate, little-endian, on the plane.
    bool coordinate(std::int32_t& out) {
        if (at_ + 4 > data_.size()) return false;
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | data_[at_ + i];
        at_ += 4;
        out = static_cast<std::int32_t>(v);
        return out >= 0 && out < kPlaneSide;
    }

  private:
    std::span<const std::uint8_t> data_;
    size_t at_ = 0;
};

bool readPoint(Reader& in, GridFeatures& out) {
    NamedPoint point;
    std::uint8_t flags = 0, length = 0;
    if (!in.coordinate(point.x) || !in.coordinate(point.y) || !in.byte(flags) || !in.byte(length)) {
        return false;
    }
    point.poi = (flags & 1) != 0;
    for (int i = 0; i < length; ++i) {
        std::uint16_t unit = 0;
        if (!in.u16(unit)) return false;
        point.name.push_back(static_cast<char16_t>(unit));
    }
    out.points.push_back(std::move(point));
    return true;
}

bool readSegment(Reader& in, GridFeatures& out) {
    TrafficSegment segment;
    std::uint8_t count = 0;
    if (!in.byte(segment.state) || segment.state > 3 || !in.byte(count) || count < 2) return false;
    for (int i = 0; i < count; ++i) {
        std::int32_t x = 0, y = 0;
        if (!in.coordinate(x) || !in.coordinate(y)) return false;
        segment.points.emplace_back(x, y);
    }
    out.segments.push_back(std::move(segment));
    return true;
}

}  // namespace

std::optional<GridFeatures> parseGridFeatures(std::span<const std::uint8_t> data) {
    GridFeatures features;
    if (data.size() < sizeof kMark || std::memcmp(data.data(), kMark, sizeof kMark) != 0) {
        return features;
    }
    Reader in(data.subspan(sizeof kMark));
    while (!in.atEnd()) {
        std::uint8_t item = 0;
        in.byte(item);
        const bool read = item == kNamedPoint       ? readPoint(in, features)
                          : item == kTrafficSegment ? readSegment(in, features)
                                                    : false;
        if (!read) return std::nullopt;
    }
    return features;
}

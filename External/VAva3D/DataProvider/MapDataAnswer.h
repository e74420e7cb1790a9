#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The map data server's answer, integers little-endian: a 32-bit status (0 is success), 4 unread
// bytes, then records of a 32-bit body length L, 4 unread bytes and L body bytes. A body holds 4
// bytes of the engine's own, a name length n, n name bytes and the grid's data.

using MapDataBody = std::span<const std::uint8_t>;
using MapDataBodySink = std::function<void(MapDataBody body)>;

inline constexpr std::size_t kMapDataAnswerHeaderSize = 8;
inline constexpr std::size_t kMapDataRecordHeaderSize = 8;

// Hands on each whole record body with a readable name, in order; returns false when the answer
// is short or its status is not 0. A negative length ends the walk, as does one running past the
// end; a body too short for its name, or whose name is empty or not UTF-8, is skipped.
bool splitMapDataAnswer(std::span<const std::uint8_t> answer, const MapDataBodySink& sink);

// The grid name of a body; nullopt when the body is too short for it or the name is empty or
// not UTF-8.
std::optional<std::string_view> mapDataBodyName(MapDataBody body);

// The same split over an answer arriving in pieces: each body is handed on once it has arrived
// whole, and a non-zero status is known as soon as the first 8 bytes are in.
class MapDataAnswerStream {
  public:
    explicit MapDataAnswerStream(MapDataBodySink sink) : sink_(std::move(sink)) {}

    // False once the answer is refused (non-zero status) or a negative length ended it; later
    // bytes are ignored.
    bool append(std::span<const std::uint8_t> bytes);
    bool statusKnown() const { return statusKnown_; }
    bool refused() const { return refused_; }

  private:
    MapDataBodySink sink_;
    std::vector<std::uint8_t> pending_;
    std::size_t consumed_ = 0;  // of pending_
    bool statusKnown_ = false;
    bool refused_ = false;
    bool ended_ = false;
};

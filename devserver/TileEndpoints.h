#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <semaphore>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace devserver {

struct TileColour {
    std::uint8_t r, g, b;
    bool operator==(const TileColour&) const = default;
};

// The fill of tile (x, y, z): r = 64 + (37x + 11z) mod 160, g = 64 + (59y + 23z) mod 160,
// b = 64 + (41z + 13x + 7y) mod 160, opaque. Neighbours differ, and no fill is as dark as the
// border, so a client can tell which tile it shows from any pixel away from the border and the
// "z/x/y" text in the middle.
TileColour tileColour(std::int64_t x, std::int64_t y, std::int64_t z);
inline constexpr TileColour kTileBorderColour{24, 24, 24};
inline constexpr int kTileSide = 256;
inline constexpr int kTileMaxZoom = 20;

struct TileRequest {
    std::int64_t x, y, z;
    int side;
};

// Raster tiles for the map's tile overlays, and the odd replies a tile client must survive:
//   GET /tiles/{z}/{x}/{y}.png?scale={s}  PNG of 256·s pixels square (s in 1..4, default 1, any
//                                         decimal text such as 2.000000): tileColour, a one-pixel
//                                         border and "z/x/y"; 404 unless 0 ≤ z ≤ 20 and x, y in
//                                         0..2^z − 1; one range gets 206 and the part, several
//                                         the whole tile (never more bytes than it has).
//   GET /tiles/held/{gate}/{z}/{x}/{y}.png  the same tile, answered once the gate is released;
//                                         503 when the hold deadline passes first, or at once
//                                         when the most held at a time already wait (so that
//                                         held requests never take the workers the release
//                                         and everything else need).
//   POST /tiles/release/{gate}            releases what waits at the gate and lets later requests
//                                         through; answers how many were waiting. The newest
//                                         kOpenGates released stay open, older ones hold again.
//   GET /tiles/empty                      200 with an empty body.
//   GET /tiles/page.html                  an HTML page with status 200, as a captive portal sends.
//   GET /tiles/log                        text, one line per tile request ("/tiles/..." with its
//                                         query) in the order they arrived: the newest
//                                         kLogLines, each cut to kLogLineBytes.
class TileEndpoints {
  public:
    // The log's bound, whatever the number and length of the requests: a few hundred tiles
    // make a test's screenful.
    static constexpr std::size_t kLogLines = 1000;
    static constexpr std::size_t kLogLineBytes = 1024;
    static constexpr std::size_t kOpenGates = 256;

    TileEndpoints(std::size_t maxHeld, std::chrono::milliseconds holdDeadline)
        : maxHeld_(maxHeld), holdDeadline_(holdDeadline) {}

    static bool owns(std::string_view path) { return path.starts_with("/tiles/"); }
    // The one path here that takes POST (and a body); the others take GET and HEAD.
    static bool isRelease(std::string_view path) { return path.starts_with("/tiles/release/"); }

    void registerOn(httplib::Server& server);
    // Lets every held request go, now and later, so that the server can stop.
    void releaseAll();
    std::vector<std::string> log() const;
    // Requests waiting at a gate now.
    std::size_t held() const;

  private:
    static constexpr std::ptrdiff_t kRendersAtOnce = 4;

    void answerTile(const TileRequest& tile, const httplib::Request& request,
                    httplib::Response& response);
    void note(const std::string& target);
    // True when the gate opens or the server stops; false when no more may wait, or the hold
    // deadline passed.
    bool waitAtGate(const std::string& gate);
    std::size_t release(const std::string& gate);

    const std::size_t maxHeld_;
    const std::chrono::milliseconds holdDeadline_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::deque<std::string> log_;
    std::set<std::string> open_;
    // The gates in open_, oldest first.
    std::deque<std::string> opened_;
    std::vector<std::string> waiting_;
    bool stopping_ = false;
    std::counting_semaphore<kRendersAtOnce> renders_{kRendersAtOnce};
};

}  // namespace devserver

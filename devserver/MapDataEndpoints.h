#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace devserver {

// One map data request as it arrived.
struct MapDataRequestRecord {
    std::string target;  // path and query as sent
    std::map<std::string, std::string> headers;
};

// What every map data request gets instead of the generated answer, while it is set.
struct ScriptedMapDataAnswer {
    int httpStatus = 200;
    std::string body;
};

// The map data and traffic server: "ws/mps/vmap", "ws/mps/smap" and "ws/mps/rtt". A valid
// query gets status 0 and one record per grid in the order asked, each body being 4 zero bytes,
// the name length and name, then data generated from the type and the quadkey. Traffic bodies
// carry an entity tag and a time stamp that change every traffic period; a grid asked with the
// current tag gets only the tag and the stamp. An invalid query gets 400.
class MapDataEndpoints {
  public:
    static constexpr std::size_t kMaxGrids = 169;
    static constexpr std::int64_t kDefaultTrafficPeriodSeconds = 120;
    // What requests() keeps, whatever the number and length of the requests: the newest ones,
    // as many as take about this much memory (at least the newest one).
    static constexpr std::size_t kKeptRequestBytes = 1024 * 1024;

    using Log = std::function<void(const std::string&)>;
    // Seconds since 1970; the traffic periods count from 0.
    using WallClock = std::function<std::int64_t()>;

    explicit MapDataEndpoints(Log log = {});
    ~MapDataEndpoints();
    MapDataEndpoints(const MapDataEndpoints&) = delete;
    MapDataEndpoints& operator=(const MapDataEndpoints&) = delete;

    void registerOn(httplib::Server& server);
    static bool handles(std::string_view path);

    // The generated answer for a query (path and query string); nullopt when the query is
    // invalid.
    std::optional<std::string> answerFor(std::string_view path, std::string_view query) const;
    // The data after a grid body's name for a type other than traffic, and the traffic data of
    // a traffic body: a few KB, the same for the same type and quadkey.
    static std::string gridData(int dataType, std::string_view quadKey);
    std::string currentTrafficTag() const;
    std::int32_t currentTrafficStamp() const;

    void setTrafficPeriod(std::int64_t seconds);
    void setWallClock(WallClock clock);

    // The newest requests, oldest first, within kKeptRequestBytes.
    std::vector<MapDataRequestRecord> requests() const;
    void clearRequests();

    // While holding, each answer waits until released (or the server stops).
    void setHoldAnswers(bool hold);
    void releaseHeldAnswers();
    std::size_t heldCount() const;
    void setScriptedAnswer(std::optional<ScriptedMapDataAnswer> answer);
    // Releases held answers and holds no more; the server calls it as it stops.
    void shutDown();

  private:
    void handle(const httplib::Request& request, httplib::Response& response);
    std::int64_t trafficPeriodIndex() const;
    void waitWhileHeld();

    const Log log_;
    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable released_;
    std::int64_t trafficPeriod_ = kDefaultTrafficPeriodSeconds;
    WallClock clock_;
    std::deque<MapDataRequestRecord> requests_;
    std::size_t requestBytes_ = 0;
    bool hold_ = false;
    bool shutDown_ = false;
    std::uint64_t releases_ = 0;
    std::size_t held_ = 0;
    std::optional<ScriptedMapDataAnswer> scripted_;
};

}  // namespace devserver

#include "MapDataEndpoints.h"

#include <httplib.h>

#include <array>

namespace devserver {

namespace {

constexpr std::string_view kVmapPath = "/ws/mps/vmap";
constexpr std::string_view kSmapPath = "/ws/mps/smap";
constexpr std::string_view kRttPath = "/ws/mps/rtt";
constexpr int kTrafficType = 4;

// The vmap "type" values and the data types they stand for.
std::optional<int> vmapDataType(std::string_view type) {
    static constexpr std::array<std::pair<std::string_view, int>, 5> kTypes{
        {{"20", 0}, {"11", 1}, {"1", 7}, {"13", 8}, {"40", 9}}};
    for (const auto& [name, dataType] : kTypes) {
        if (name == type) return dataType;
    }
    return std::nullopt;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        unsigned value = 0;
        for (std::size_t k = 1; k <= 2; ++k) {
            const char c = text[i + k];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<unsigned>(c - 'a' + 10);
            else
                return std::nullopt;
        }
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

bool isQuadKey(std::string_view name) {
    if (name.empty() || name.size() > 20) return false;
    for (const char c : name) {
        if (c < '0' || c > '3') return false;
    }
    return true;
}

struct Grid {
    std::string name;
    std::optional<std::string> tag;
};

// The query's parameters, each once; nullopt when one repeats or has no "=".
std::optional<std::map<std::string_view, std::string_view>> parameters(std::string_view query) {
    std::map<std::string_view, std::string_view> params;
    for (const auto part : split(query, '&')) {
        if (part.empty()) continue;
        const auto eq = part.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        if (!params.emplace(part.substr(0, eq), part.substr(eq + 1)).second) return std::nullopt;
    }
    return params;
}

// About what a kept request takes: its text, and beside it its map's nodes and the strings'
// own blocks, which weigh as much as the text of a small request.
std::size_t bytesOf(const MapDataRequestRecord& record) {
    std::size_t bytes = 128 + record.target.size();
    for (const auto& [name, value] : record.headers) bytes += 128 + name.size() + value.size();
    return bytes;
}

void appendInt32(std::string& out, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
}

}  // namespace

MapDataEndpoints::MapDataEndpoints(Log log) : log_(std::move(log)) {
    clock_ = [] {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
}

MapDataEndpoints::~MapDataEndpoints() { shutDown(); }

bool MapDataEndpoints::handles(std::string_view path) {
    return path == kVmapPath || path == kSmapPath || path == kRttPath;
}

void MapDataEndpoints::registerOn(httplib::Server& server) {
    for (const auto path : {kVmapPath, kSmapPath, kRttPath}) {
        server.Get(std::string(path),
                   [this](const httplib::Request& request, httplib::Response& response) {
                       handle(request, response);
                   });
    }
}

std::string MapDataEndpoints::gridData(int dataType, std::string_view quadKey) {
    // FNV-1a over type and name seeds a small generator, so a test can make the same bytes.
    std::uint64_t state = 0xcbf29ce484222325ULL;
    const auto mix = [&state](unsigned char c) {
        state ^= c;
        state *= 0x100000001b3ULL;
    };
    mix(static_cast<unsigned char>(dataType));
    for (const char c : quadKey) mix(static_cast<unsigned char>(c));
    const std::size_t size = 1024 + static_cast<std::size_t>(state % 2048);
    std::string data(size, '\0');
    for (auto& byte : data) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<char>(state & 0xFF);
    }
    return data;
}

std::int64_t MapDataEndpoints::trafficPeriodIndex() const { return clock_() / trafficPeriod_; }

std::string MapDataEndpoints::currentTrafficTag() const {
    std::lock_guard lock(mutex_);
    return "t" + std::to_string(trafficPeriodIndex());
}

std::int32_t MapDataEndpoints::currentTrafficStamp() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int32_t>(trafficPeriodIndex() * trafficPeriod_);
}

void MapDataEndpoints::setTrafficPeriod(std::int64_t seconds) {
    std::lock_guard lock(mutex_);
    if (seconds > 0) trafficPeriod_ = seconds;
}

void MapDataEndpoints::setWallClock(WallClock clock) {
    std::lock_guard lock(mutex_);
    if (clock) clock_ = std::move(clock);
}

std::optional<std::string> MapDataEndpoints::answerFor(std::string_view path,
                                                       std::string_view query) const {
    const auto params = parameters(query);
    if (!params) return std::nullopt;
    const auto get = [&](std::string_view key) -> std::optional<std::string_view> {
        const auto found = params->find(key);
        if (found == params->end()) return std::nullopt;
        return found->second;
    };
    if (get("mapdataver") != "5") return std::nullopt;
    int dataType = 0;
    std::size_t expected = 3;  // mapdataver, cp, mesh
    if (path == kVmapPath) {
        const auto type = get("type");
        if (!type || !vmapDataType(*type)) return std::nullopt;
        dataType = *vmapDataType(*type);
        ++expected;
    } else if (path == kSmapPath) {
        dataType = 3;
    } else if (path == kRttPath) {
        dataType = kTrafficType;
        if (get("v") != "6.0.0" || get("bver") != "2") return std::nullopt;
        expected = 4;  // mapdataver, v, bver, mesh
    } else {
        return std::nullopt;
    }
    if (dataType != kTrafficType && get("cp") != "1") return std::nullopt;
    if (params->size() != expected) return std::nullopt;
    const auto mesh = get("mesh");
    if (!mesh) return std::nullopt;

    std::vector<Grid> grids;
    for (const auto entry : split(*mesh, ';')) {
        Grid grid;
        const auto hyphen = entry.find('-');
        if (hyphen != std::string_view::npos) {
            if (dataType != kTrafficType) return std::nullopt;
            grid.tag = percentDecoded(entry.substr(hyphen + 1));
            if (!grid.tag) return std::nullopt;
        }
        grid.name = std::string(entry.substr(0, hyphen));
        if (!isQuadKey(grid.name)) return std::nullopt;
        grids.push_back(std::move(grid));
    }
    if (grids.empty() || grids.size() > kMaxGrids) return std::nullopt;

    std::string tag;
    std::int32_t stamp = 0;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t index = trafficPeriodIndex();
        tag = "t" + std::to_string(index);
        stamp = static_cast<std::int32_t>(index * trafficPeriod_);
    }
    std::string answer;
    appendInt32(answer, 0);
    appendInt32(answer, 0);
    for (const auto& grid : grids) {
        std::string body(4, '\0');
        body += static_cast<char>(grid.name.size());
        body += grid.name;
        if (dataType == kTrafficType) {
            body += static_cast<char>(tag.size());
            body += tag;
            appendInt32(body, stamp);
            if (grid.tag != tag) body += gridData(dataType, grid.name);
        } else {
            body += gridData(dataType, grid.name);
        }
        appendInt32(answer, static_cast<std::int32_t>(body.size()));
        appendInt32(answer, 0);
        answer += body;
    }
    return answer;
}

void MapDataEndpoints::handle(const httplib::Request& request, httplib::Response& response) {
    MapDataRequestRecord record;
    record.target = request.target;
    std::string line = request.method + " " + request.target;
    for (const auto& [name, value] : request.headers) {
        // The library adds the connection's addresses among the headers.
        if (name.starts_with("LOCAL_") || name.starts_with("REMOTE_")) continue;
        record.headers.emplace(name, value);
        line += " | " + name + ": " + value;
    }
    {
        std::lock_guard lock(mutex_);
        requestBytes_ += bytesOf(record);
        requests_.push_back(std::move(record));
        // Else a server that runs for long would keep every request it was ever sent.
        while (requestBytes_ > kKeptRequestBytes && requests_.size() > 1) {
            requestBytes_ -= bytesOf(requests_.front());
            requests_.pop_front();
        }
    }
    if (log_) log_(line);
    waitWhileHeld();
    std::optional<ScriptedMapDataAnswer> scripted;
    {
        std::lock_guard lock(mutex_);
        scripted = scripted_;
    }
    if (scripted) {
        response.status = scripted->httpStatus;
        response.set_content(scripted->body, "application/octet-stream");
        return;
    }
    const auto question = request.target.find('?');
    const std::string_view query = question == std::string::npos
                                       ? std::string_view()
                                       : std::string_view(request.target).substr(question + 1);
    const auto answer = answerFor(request.path, query);
    if (!answer) {
        response.status = 400;
        response.set_content("invalid map data query", "text/plain");
        return;
    }
    response.status = 200;
    response.set_content(*answer, "application/octet-stream");
}

void MapDataEndpoints::waitWhileHeld() {
    std::unique_lock lock(mutex_);
    if (!hold_ || shutDown_) return;
    const std::uint64_t release = releases_;
    ++held_;
    released_.wait(lock, [&] { return releases_ != release || shutDown_; });
    --held_;
}

std::vector<MapDataRequestRecord> MapDataEndpoints::requests() const {
    std::lock_guard lock(mutex_);
    return {requests_.begin(), requests_.end()};
}

void MapDataEndpoints::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    requestBytes_ = 0;
}

void MapDataEndpoints::setHoldAnswers(bool hold) {
    {
        std::lock_guard lock(mutex_);
        hold_ = hold;
        if (!hold) ++releases_;
    }
    released_.notify_all();
}

void MapDataEndpoints::releaseHeldAnswers() {
    {
        std::lock_guard lock(mutex_);
        ++releases_;
    }
    released_.notify_all();
}

std::size_t MapDataEndpoints::heldCount() const {
    std::lock_guard lock(mutex_);
    return held_;
}

void MapDataEndpoints::setScriptedAnswer(std::optional<ScriptedMapDataAnswer> answer) {
    std::lock_guard lock(mutex_);
    scripted_ = std::move(answer);
}

void MapDataEndpoints::shutDown() {
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
    }
    released_.notify_all();
}

}  // namespace devserver

#include "OfflineEndpoints.h"

#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "HttpServer.h"

namespace devserver {
namespace {

struct OfflinePackage {
    std::string adcode, citycode, name, pinyin, jianpin;
    std::size_t bytes;     // about this much data
    std::string province;  // adcode of the province holding it; empty for the others
    bool nationWide = false;
};

const OfflinePackage kOfflinePackages[] = {
    {"000000", "", "Base", "base", "b", 150'000, "", true},
    {"110000", "010", "North City", "northcity", "nc", 1'200'000, ""},
    {"120000", "022", "Harbour City", "harbourcity", "hc", 4'500'000, ""},
    {"320000", "", "River Province", "riverprovince", "rp", 0, ""},
    {"320100", "025", "River Capital", "rivercapital", "rc", 400'000, "320000"},
    {"320200", "0510", "Lake Town", "laketown", "lt", 120'000, "320000"},
};

// Seconds since 1 January 1980 stamped on every entry: a fixed day in 2026.
constexpr unsigned long kEntryTime = 1'451'606'400;
constexpr std::size_t kGridBytes = 60'000;

std::string noise(std::size_t size, std::uint32_t seed) {
    std::string out(size, '\0');
    std::uint32_t x = seed | 1;
    for (auto& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

std::uint32_t seedOf(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

bool addEntry(zipFile zip, const std::string& name, const std::string& content) {
    zip_fileinfo info{};
    info.dosDate = kEntryTime;
    if (zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION) != ZIP_OK) {
        return false;
    }
    const bool written =
        content.empty() ||
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) == ZIP_OK;
    return zipCloseFileInZip(zip) == ZIP_OK && written;
}

std::string buildArchive(const OfflinePackage& package) {
    char path[] = "/tmp/brisfold-offline-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return {};
    ::close(fd);
    zipFile zip = zipOpen(path, APPEND_STATUS_CREATE);
    bool ok = zip != nullptr;
    const std::string folder = "vmap/" + package.adcode + "/";
    const std::uint32_t seed = seedOf(package.adcode);
    if (ok) {
        ok = addEntry(zip, folder + "meta.txt",
                      "adcode=" + package.adcode + "\nversion=" + kOfflineCatalogueVersion + "\n");
        ok = ok && addEntry(zip, folder + "empty.dat", "");
        for (std::size_t i = 0, left = package.bytes; ok && left > 0; ++i) {
            const std::size_t n = std::min(left, kGridBytes);
            char name[32];
            std::snprintf(name, sizeof name, "grid_%03zu.dat", i);
            ok = addEntry(zip, folder + name, noise(n, seed + static_cast<std::uint32_t>(i)));
            left -= n;
        }
        ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    }
    std::string archive;
    if (ok) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        archive = std::move(bytes).str();
    }
    std::filesystem::remove(path);
    return archive;
}

const std::map<std::string, std::string>& archives() {
    static const std::map<std::string, std::string> built = [] {
        std::map<std::string, std::string> map;
        for (const auto& package : kOfflinePackages) {
            if (package.bytes > 0) map[package.adcode] = buildArchive(package);
        }
        return map;
    }();
    return built;
}

nlohmann::json itemFor(const OfflinePackage& package, const std::string& base) {
    nlohmann::json item = {{"adcode", package.adcode},
                           {"name", package.name},
                           {"pinyin", package.pinyin},
                           {"jianpin", package.jianpin},
                           {"version", kOfflineCatalogueVersion},
                           {"itemStatus", 0},
                           {"downloadedSize", 0}};
    if (const auto* archive = offlinePackageArchive(package.adcode)) {
        item["url"] = base + "offline/" + package.adcode + ".zip";
        item["size"] = static_cast<std::int64_t>(archive->size());
    } else {
        item["url"] = "";
        item["size"] = 0;
    }
    if (!package.citycode.empty()) item["citycode"] = package.citycode;
    return item;
}

std::optional<std::size_t> number(const httplib::Request& request, const char* key) {
    if (!request.has_param(key)) return std::nullopt;
    try {
        return static_cast<std::size_t>(std::stoull(request.get_param_value(key)));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

using Clock = std::chrono::steady_clock;

// The packages being sent slowly, within their bound.
class SlowPackages {
  public:
    explicit SlowPackages(SlowPackageLimits limits) : limits_(limits) {}

    // A place among them, given back when the last copy of it goes; null when none is free.
    std::shared_ptr<void> take() {
        std::lock_guard lock(mutex_);
        if (sending_ >= limits_.most) return nullptr;
        ++sending_;
        return {this, [](SlowPackages* self) {
                    std::lock_guard lock(self->mutex_);
                    --self->sending_;
                }};
    }

    std::chrono::milliseconds deadline() const { return limits_.deadline; }

  private:
    const SlowPackageLimits limits_;
    std::mutex mutex_;
    std::size_t sending_ = 0;
};

// The knobs a test sets on a package request.
struct PackageKnobs {
    std::optional<std::size_t> throttle, drop, stall;

    bool slow() const { return (throttle && *throttle > 0) || stall; }
};

// A package's bytes from `first` on, `length` of them, as the knobs let them go: the event loop
// sends them from the one archive every reader shares.
class PackageBody final : public ReplyBody {
  public:
    PackageBody(const std::string& archive, std::size_t first, std::size_t length,
                PackageKnobs knobs, std::shared_ptr<void> place, Clock::time_point until)
        : archive_(archive),
          first_(first),
          length_(length),
          knobs_(knobs),
          place_(std::move(place)),
          until_(until) {}

    Piece next(Clock::time_point now) override {
        if (sent_ >= length_) return {Piece::End, {}, {}};
        const std::size_t offset = first_ + sent_;
        // An announced length beyond the data ends where the data does.
        if (now >= until_ || (knobs_.drop && offset >= *knobs_.drop) || offset >= archive_.size())
            return {Piece::Cut, {}, {}};
        // Held until the client leaves, the deadline passes or the server stops.
        if (knobs_.stall && offset >= *knobs_.stall) return {Piece::Wait, {}, until_};
        if (now < nextAt_) return {Piece::Wait, {}, nextAt_};
        std::size_t n = std::min({length_ - sent_, archive_.size() - offset, kPieceBytes});
        if (throttled()) {
            n = std::min(n, std::max<std::size_t>(*knobs_.throttle / 20, 1));
            nextAt_ = now + std::chrono::milliseconds(50);
        }
        if (knobs_.drop) n = std::min(n, *knobs_.drop - offset);
        if (knobs_.stall) n = std::min(n, *knobs_.stall - offset);
        sent_ += n;
        return {Piece::Bytes, std::string_view(archive_).substr(offset, n), {}};
    }

  private:
    static constexpr std::size_t kPieceBytes = 64 * 1024;

    bool throttled() const { return knobs_.throttle && *knobs_.throttle > 0; }

    const std::string& archive_;
    const std::size_t first_;
    const std::size_t length_;
    const PackageKnobs knobs_;
    // For a slow package: its place among them, given back when the body ends.
    const std::shared_ptr<void> place_;
    const Clock::time_point until_;
    std::size_t sent_ = 0;
    Clock::time_point nextAt_;
};

void servePackage(SlowPackages& slowPackages, const httplib::Request& request,
                  httplib::Response& response) {
    if (request.get_header_value("User-Agent") != kOfflineUserAgent) {
        response.status = 403;
        return;
    }
    const std::string file = request.matches[1];
    const std::string* archive = offlinePackageArchive(file);
    if (!archive) {
        response.status = 404;
        return;
    }
    const PackageKnobs knobs{number(request, "throttle"), number(request, "drop"),
                             number(request, "stall")};
    std::shared_ptr<void> place;
    auto until = Clock::time_point::max();
    if (knobs.slow()) {
        place = slowPackages.take();
        if (!place) {
            response.status = 503;
            response.set_content("too many packages sent slowly at once\n", "text/plain");
            return;
        }
        until = Clock::now() + slowPackages.deadline();
    }
    if (request.has_param("ignoreRange")) {
        response.status = 200;
        HttpServer::sendBody(response, "application/zip", std::nullopt,
                             std::make_unique<PackageBody>(*archive, 0, archive->size(), knobs,
                                                           std::move(place), until));
        return;
    }
    const std::size_t size = number(request, "length").value_or(archive->size());
    const ByteRange range = answerRange(request, response, size);
    if (range.kind == ByteRange::Unsatisfiable) return;
    const std::size_t first = range.kind == ByteRange::Part ? range.first : 0;
    const std::size_t length = range.kind == ByteRange::Part ? range.length : size;
    HttpServer::sendBody(
        response, "application/zip", length,
        std::make_unique<PackageBody>(*archive, first, length, knobs, std::move(place), until));
}

void serveVersionCheck(const httplib::Request& request, httplib::Response& response) {
    const std::string key = request.get_param_value("key");
    const std::string version = request.get_param_value("mapver");
    if (key != kOfflineApiKey) {
        response.status = 403;
        response.set_content(R"({"status":"0","info":"INVALID_USER_KEY"})", "application/json");
        return;
    }
    const nlohmann::json body = {
        {"status", "1"}, {"offlinemap", {{"update", version == kOfflineCatalogueVersion ? 0 : 1}}}};
    response.set_content(body.dump(), "application/json");
}

}  // namespace

const std::string* offlinePackageArchive(const std::string& adcode) {
    const auto& map = archives();
    const auto it = map.find(adcode);
    return it == map.end() || it->second.empty() ? nullptr : &it->second;
}

nlohmann::json offlineCatalogue(const std::string& base) {
    nlohmann::json provinces = nlohmann::json::array();
    nlohmann::json others = nlohmann::json::array();
    for (const auto& package : kOfflinePackages) {
        if (package.nationWide) {
            others.push_back(itemFor(package, base));
        } else if (package.province.empty()) {
            auto item = itemFor(package, base);
            item["cities"] = nlohmann::json::array();
            for (const auto& city : kOfflinePackages) {
                if (city.province == package.adcode) item["cities"].push_back(itemFor(city, base));
            }
            provinces.push_back(std::move(item));
        }
    }
    return {{"version", kOfflineCatalogueVersion}, {"provinces", provinces}, {"others", others}};
}

bool isOfflinePath(std::string_view path) {
    return path.starts_with("/offline/") || path == "/resourcec/r/init";
}

void registerOfflineEndpoints(HttpServer& http, std::function<void(const std::string&)> log,
                              SlowPackageLimits slow) {
    auto slowPackages = std::make_shared<SlowPackages>(slow);
    http.Get("/offline/catalogue.json",
             [](const httplib::Request& request, httplib::Response& response) {
                 const std::string base = "http://" + request.get_header_value("Host") + "/";
                 response.set_content(offlineCatalogue(base).dump(), "application/json");
             });
    const auto describe = [log](const httplib::Request& request) {
        log("offline: " + request.target + " range=\"" + request.get_header_value("Range") +
            "\" agent=\"" + request.get_header_value("User-Agent") + "\"");
    };
    http.Get(R"(/offline/([0-9]+)\.zip)", [describe, slowPackages](const httplib::Request& request,
                                                                   httplib::Response& response) {
        describe(request);
        servePackage(*slowPackages, request, response);
    });
    http.Get("/resourcec/r/init",
             [describe](const httplib::Request& request, httplib::Response& response) {
                 describe(request);
                 serveVersionCheck(request, response);
             });
}

}  // namespace devserver

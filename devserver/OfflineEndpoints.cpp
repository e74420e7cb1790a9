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
#include <thread>

#include "HttpServer.h"

namespace devserver {
namespace {

struct Package {
    std::string adcode, citycode, name, pinyin, jianpin;
    std::size_t bytes;     // about this much data
    std::string province;  // adcode of the province holding it; empty for the others
    bool nationWide = false;
};

const Package kPackages[] = {
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

std::string buildArchive(const Package& package) {
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
        for (const auto& package : kPackages) {
            if (package.bytes > 0) map[package.adcode] = buildArchive(package);
        }
        return map;
    }();
    return built;
}

nlohmann::json itemFor(const Package& package, const std::string& base) {
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

// Sends the next piece from `offset` with the knobs; the bytes sent, 0 once the connection is to
// close.
struct Sender {
    const std::string* archive;
    const HttpServer* http;
    std::optional<std::size_t> throttle, drop, stall;
    // For a slow package: its place among them, and when its connection closes.
    std::shared_ptr<void> place = nullptr;
    Clock::time_point until = Clock::time_point::max();

    bool slow() const { return (throttle && *throttle > 0) || stall; }

    std::size_t send(std::size_t offset, std::size_t length, httplib::DataSink& sink) const {
        std::size_t piece = 64 * 1024;
        if (throttle && *throttle > 0) piece = std::max<std::size_t>(*throttle / 20, 1);
        if (drop && offset >= *drop) return 0;
        if (Clock::now() >= until) return 0;
        if (stall && offset >= *stall) {
            // Holds the connection open until the client leaves, the deadline passes or the server
            // stops; a client that has gone is not writable.
            while (!http->stopping() && Clock::now() < until && sink.is_writable())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return 0;
        }
        std::size_t n = std::min(length, piece);
        if (drop) n = std::min(n, *drop - offset);
        if (stall) n = std::min(n, *stall - offset);
        if (offset >= archive->size()) return 0;  // an announced length beyond the data
        n = std::min(n, archive->size() - offset);
        if (!sink.write(archive->data() + offset, n)) return 0;
        if (throttle && *throttle > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return n;
    }
};

void servePackage(const HttpServer& http, SlowPackages& slowPackages,
                  const httplib::Request& request, httplib::Response& response) {
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
    Sender sender{archive, &http, number(request, "throttle"), number(request, "drop"),
                  number(request, "stall")};
    if (sender.slow()) {
        sender.place = slowPackages.take();
        if (!sender.place) {
            response.status = 503;
            response.set_content("too many packages sent slowly at once\n", "text/plain");
            return;
        }
        sender.until = Clock::now() + slowPackages.deadline();
    }
    if (request.has_param("ignoreRange")) {
        response.status = 200;
        response.set_chunked_content_provider(
            "application/zip",
            [sender, sent = std::size_t{0}](std::size_t, httplib::DataSink& sink) mutable {
                if (sent >= sender.archive->size()) {
                    sink.done();
                    return true;
                }
                const std::size_t n = sender.send(sent, sender.archive->size() - sent, sink);
                sent += n;
                return n > 0;
            });
        return;
    }
    const std::size_t size = number(request, "length").value_or(archive->size());
    const ByteRange range = answerRange(request, response, size);
    if (range.kind == ByteRange::Unsatisfiable) return;
    const std::size_t first = range.kind == ByteRange::Part ? range.first : 0;
    response.set_content_provider(
        range.kind == ByteRange::Part ? range.length : size, "application/zip",
        [sender, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sender.send(first + offset, length, sink) > 0;
        });
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
    for (const auto& package : kPackages) {
        if (package.nationWide) {
            others.push_back(itemFor(package, base));
        } else if (package.province.empty()) {
            auto item = itemFor(package, base);
            item["cities"] = nlohmann::json::array();
            for (const auto& city : kPackages) {
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
    http.Get(R"(/offline/([0-9]+)\.zip)",
             [&http, describe, slowPackages](const httplib::Request& request,
                                             httplib::Response& response) {
                 describe(request);
                 servePackage(http, *slowPackages, request, response);
             });
    http.Get("/resourcec/r/init",
             [describe](const httplib::Request& request, httplib::Response& response) {
                 describe(request);
                 serveVersionCheck(request, response);
             });
}

}  // namespace devserver

#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace devserver {

class HttpServer;

// The key the version check knows; any other is refused.
inline constexpr const char* kOfflineApiKey = "brisfold-devserver-key";
// The version of the catalogue the devserver serves.
inline constexpr const char* kOfflineCatalogueVersion = "20261201";
// The agent the package downloader sends.
inline constexpr const char* kOfflineUserAgent = "VAVA SDK iOS Map 3.1.0";

// The offline city packages: deterministic zip archives of engine-like files (entry times as
// seconds since 1980, as the kit writes and reads them), made on first use.
//   GET /offline/catalogue.json       the catalogue in its delivered form, URLs on `base`
//   GET /offline/<adcode>.zip          a package; one range gives 206 with the part, several
//                                      the whole file, none it has 416 "bytes */size". Knobs as
//                                      query parameters: throttle=<bytes/s>, drop=<offset> (close
//                                      there), stall=<offset> (send nothing more), ignoreRange=1
//                                      (200, whole body), length=<announced length>;
//                                      stalled and throttled ones within SlowPackageLimits
//   GET /resourcec/r/init?&key=K&mapver=V   {"offlinemap":{"update":0|1}}
nlohmann::json offlineCatalogue(const std::string& base);
// The archive of a package, or null for an unknown adcode.
const std::string* offlinePackageArchive(const std::string& adcode);

bool isOfflinePath(std::string_view path);

// Packages the knobs stall or throttle: at most `most` at once (one more is answered 503 at
// once), each sent for no longer than `deadline` (its connection is then closed), so that a test
// that forgets one leaves nothing behind. Like every other reply, they hold no worker while sent.
struct SlowPackageLimits {
    std::size_t most;
    std::chrono::milliseconds deadline;
};

// Each package and version-check request is logged as one line: path, range and agent.
void registerOfflineEndpoints(HttpServer& http, std::function<void(const std::string&)> log,
                              SlowPackageLimits slow);

}  // namespace devserver

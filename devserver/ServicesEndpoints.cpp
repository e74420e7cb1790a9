#include "ServicesEndpoints.h"

#include <httplib.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "Database.h"
#include "LogUpload.h"
#include "OfflineEndpoints.h"

namespace devserver {

namespace {

constexpr const char* kConfigurationPath = "/v3/config/resource";
constexpr const char* kUploadPath = "/ws/log/upload";
constexpr const char* kJson = "application/json; charset=utf-8";
constexpr std::array<const char*, 4> kTypeWords = {"exception", "common", "realstatus",
                                                   "offlinemap_with_province"};
constexpr std::array<const char*, 5> kConfigurationFields = {"opertype", "plattype", "product",
                                                             "version", "key"};
constexpr std::array<const char*, 5> kUploadFields = {"product", "type", "platform", "channel",
                                                      "sign"};
// Compressed bodies; a 200-record upload takes about a tenth of it.
constexpr std::size_t kMaxUploadBytes = 1024 * 1024;
constexpr std::size_t kSignedBytes = 50;
constexpr std::string_view kSigningText = "r7x%Lp2w";

void replyJson(httplib::Response& response, int status, const nlohmann::json& body) {
    response.status = status;
    response.set_content(body.dump(), kJson);
}

void refuseUpload(httplib::Response& response, int status = 200) {
    replyJson(response, status, {{"code", 0}});
}

// The words of the request, when every one is known and they come in bit order, once each.
std::optional<std::vector<std::string>> typeWords(const std::string& opertype) {
    std::vector<std::string> words;
    std::size_t next = 0;
    std::size_t start = 0;
    while (start <= opertype.size()) {
        const std::size_t end = std::min(opertype.find(';', start), opertype.size());
        const std::string word = opertype.substr(start, end - start);
        const auto it =
            std::find(kTypeWords.begin() + static_cast<long>(next), kTypeWords.end(), word);
        if (it == kTypeWords.end()) return std::nullopt;
        next = static_cast<std::size_t>(it - kTypeWords.begin()) + 1;
        words.push_back(word);
        start = end + 1;
    }
    return words;
}

// Exactly the fields named, each once.
bool hasExactly(const httplib::Request& request, const auto& fields) {
    if (request.params.size() != fields.size()) return false;
    return std::all_of(fields.begin(), fields.end(), [&](const char* field) {
        return request.get_param_value_count(field) == 1;
    });
}

// The query in the order the kit writes it.
std::string queryText(const httplib::Request& request, const auto& fields) {
    std::string text;
    for (const char* field : fields) {
        if (!request.has_param(field)) continue;
        text +=
            (text.empty() ? "?" : "&") + std::string(field) + "=" + request.get_param_value(field);
    }
    return text;
}

// One of the places of the uploads decoded at once, when one came in time; held until the upload
// is answered.
template <class Places>
class DecodingPlace {
  public:
    explicit DecodingPlace(Places& places) : places_(places), held_(places.take()) {}
    ~DecodingPlace() {
        if (held_) places_.give();
    }
    DecodingPlace(const DecodingPlace&) = delete;
    DecodingPlace& operator=(const DecodingPlace&) = delete;

    explicit operator bool() const { return held_; }

  private:
    Places& places_;
    const bool held_;
};

// The records kept, each with the bytes of its texts, which an index sums without reading them. A
// table made before the bytes were kept gains them.
void ensureAnalyticsLog(Database& db) {
    db.execute(
        "CREATE TABLE IF NOT EXISTS analytics_log (id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "bytes INTEGER NOT NULL, header TEXT NOT NULL, record TEXT NOT NULL)");
    if (db.scalar("SELECT COUNT(*) FROM pragma_table_info('analytics_log') WHERE name = 'bytes'") ==
        0) {
        Transaction transaction(db);
        db.execute(
            "ALTER TABLE analytics_log ADD COLUMN bytes INTEGER NOT NULL DEFAULT 0;"
            "UPDATE analytics_log SET bytes = length(CAST(header AS BLOB)) + "
            "length(CAST(record AS BLOB))");
        transaction.commit();
    }
    db.execute("CREATE INDEX IF NOT EXISTS analytics_log_bytes ON analytics_log (bytes)");
}

// Drops the oldest records until the texts kept are within the bound.
void trimAnalyticsLog(Database& db, std::int64_t bound) {
    std::int64_t excess = db.scalar("SELECT COALESCE(SUM(bytes), 0) FROM analytics_log") - bound;
    if (excess <= 0) return;
    std::int64_t last = 0;
    {
        auto oldest = db.query("SELECT id, bytes FROM analytics_log ORDER BY id");
        while (excess > 0 && oldest.step()) {
            last = oldest.integer(0);
            excess -= oldest.integer(1);
        }
    }
    db.run("DELETE FROM analytics_log WHERE id <= ?", last);
}

std::string md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

}  // namespace

const char* ServicesEndpoints::methodForPath(std::string_view path) {
    if (path == kConfigurationPath) return "GET";
    if (path == kUploadPath) return "POST";
    return nullptr;
}

bool ServicesEndpoints::DecodingPlaces::take() {
    const auto deadline = std::chrono::steady_clock::now() + kUploadPlaceWait;
    std::unique_lock lock(mutex_);
    if (waiting_.empty() && free_ > 0) {
        --free_;
        return true;
    }
    if (waiting_.size() >= kUploadsWaitingAtOnce) return false;
    const std::uint64_t ticket = nextTicket_++;
    waiting_.push_back(ticket);
    const bool given = changed_.wait_until(lock, deadline,
                                           [&] { return waiting_.front() == ticket && free_ > 0; });
    if (given) --free_;
    waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
    // The next in line may be first now, and a place may still be free.
    changed_.notify_all();
    return given;
}

void ServicesEndpoints::DecodingPlaces::give() {
    {
        std::lock_guard lock(mutex_);
        ++free_;
    }
    changed_.notify_all();
}

std::size_t ServicesEndpoints::maxBodyBytes(std::string_view path) {
    return path == kUploadPath ? kMaxUploadBytes : 0;
}

ServicesEndpoints::ServicesEndpoints(Log log, WithDatabase withDatabase, std::size_t keptLogBytes)
    : log_(std::move(log)), withDatabase_(std::move(withDatabase)), keptLogBytes_(keptLogBytes) {}

void ServicesEndpoints::addKnownKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    knownKeys_.insert(key);
}

bool ServicesEndpoints::knownKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return knownKeys_.contains(key);
}

std::string ServicesEndpoints::stamped(const httplib::Request& request) const {
    return " (User-Agent: " + request.get_header_value("User-Agent") +
           ", logversion: " + request.get_header_value("logversion") + ")";
}

bool ServicesEndpoints::refuse(const httplib::Request& request, httplib::Response& response) const {
    if (request.path != kUploadPath) return false;
    // One length that is the body's: two, or one beside chunks, would leave the body's end to
    // guessing.
    if (request.get_header_value_count("Content-Length") != 1 ||
        request.has_header("Transfer-Encoding")) {
        log_(request.method + " " + request.path + " refused: not one Content-Length");
        refuseUpload(response);
        return true;
    }
    return false;
}

void ServicesEndpoints::install(httplib::Server& http) {
    http.Get(kConfigurationPath,
             [this](const httplib::Request& request, httplib::Response& response) {
                 answerConfiguration(request, response);
             });
    http.Post(kUploadPath, [this](const httplib::Request& request, httplib::Response& response,
                                  const httplib::ContentReader& reader) {
        answerUpload(request, response, reader);
    });
}

void ServicesEndpoints::answerConfiguration(const httplib::Request& request,
                                            httplib::Response& response) {
    log_("GET " + request.path + queryText(request, kConfigurationFields) + stamped(request));
    const auto words = typeWords(request.get_param_value("opertype"));
    if (!hasExactly(request, kConfigurationFields) || !words ||
        request.get_param_value("plattype") != "iOS" ||
        request.get_param_value("product") != "3dmap" ||
        request.get_param_value("version") != "3.1.0" ||
        !knownKey(request.get_param_value("key"))) {
        replyJson(response, 200, {{"status", "0"}});
        return;
    }
    const std::string base = "http://" + request.get_header_value("Host");
    nlohmann::json result = nlohmann::json::object();
    for (const auto& word : *words) {
        if (word == "exception") {
            result[word] = {{"exceptinfo", {{"ex_isupload", exceptionUpload_ ? "1" : "0"}}}};
        } else if (word == "common") {
            result[word] = {{"commoninfo", {{"com_isupload", commonUpload_ ? "1" : "0"}}}};
        } else if (word == "realstatus") {
            result[word] = {{"url", base + "/trafficengine/vadedu/"}};
        } else {
            result[word] = offlineCatalogue(base);
        }
    }
    replyJson(response, 200, {{"status", "1"}, {"result", result}});
}

void ServicesEndpoints::answerUpload(const httplib::Request& request, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
    const std::string line =
        "POST " + request.path + queryText(request, kUploadFields) + stamped(request);
    auto refuseWith = [&](const std::string& why, int status = 200) {
        log_(line + " refused: " + why);
        refuseUpload(response, status);
    };
    if (const int status = uploadStatus_; status != 200) {
        log_(line + " answered " + std::to_string(status) + " as asked");
        refuseUpload(response, status);
        return;
    }
    if (!hasExactly(request, kUploadFields) || request.get_param_value("product") != "1" ||
        request.get_param_value("type") != "1" || request.get_param_value("platform") != "2" ||
        request.get_param_value("channel") != "open")
        return refuseWith("unexpected query");
    if (request.get_header_value("Content-Type") != "application/gzip")
        return refuseWith("Content-Type is not application/gzip");
    // Before the body is copied: only the uploads that have a place hold one more copy of theirs.
    const DecodingPlace place(decodingPlaces_);
    if (!place)
        return refuseWith(std::to_string(kUploadsDecodedAtOnce) + " uploads are being decoded",
                          503);
    std::string body;
    const bool whole = reader([&](const char* data, std::size_t size) {
        if (size > kMaxUploadBytes - body.size()) return false;
        body.append(data, size);
        return true;
    });
    if (!whole) return refuseWith("body too large or cut short");
    if (request.get_header_value("Content-Length") != std::to_string(body.size()))
        return refuseWith("Content-Length is not the body's");
    if (body.size() < kSignedBytes ||
        md5Hex(body.substr(0, kSignedBytes) + std::string(kSigningText)) !=
            request.get_param_value("sign"))
        return refuseWith("signature does not match the body");
    std::string why;
    const auto upload =
        decodeLogUpload(body, &why, [this](const std::string& key) { return knownKey(key); });
    if (!upload) return refuseWith(why);
    if (const int code = uploadReplyCode_; code != 1) {
        log_(line + " answered code " + std::to_string(code) + " as asked");
        replyJson(response, 200, {{"code", code}});
        return;
    }
    // Each record is kept beside its header, as readers of the table take them.
    const std::string header = upload->header.dump();
    std::vector<std::string> records;
    std::size_t bytes = 0;
    for (const auto& record : upload->records) {
        records.push_back(record.dump());
        bytes += header.size() + records.back().size();
    }
    // Taking it would drop its own oldest records, which the kit then deletes as taken.
    if (bytes > keptLogBytes_) return refuseWith("records larger than the analytics log keeps");
    withDatabase_([&](Database& db) {
        ensureAnalyticsLog(db);
        Transaction transaction(db);
        for (const std::string& text : records)
            db.run("INSERT INTO analytics_log (bytes, header, record) VALUES (?, ?, ?)",
                   static_cast<std::int64_t>(header.size() + text.size()), header, text);
        trimAnalyticsLog(db, static_cast<std::int64_t>(keptLogBytes_));
        transaction.commit();
    });
    log_(line + " stored " + std::to_string(upload->records.size()) + " records");
    replyJson(response, 200, {{"code", 1}});
}

std::vector<nlohmann::json> ServicesEndpoints::storedLogs() const {
    std::vector<nlohmann::json> logs;
    withDatabase_([&](Database& db) {
        ensureAnalyticsLog(db);
        auto rows = db.query("SELECT header, record FROM analytics_log ORDER BY id");
        while (rows.step())
            logs.push_back({{"header", nlohmann::json::parse(rows.text(0))},
                            {"record", nlohmann::json::parse(rows.text(1))}});
    });
    return logs;
}

}  // namespace devserver

#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace devserver {

class Database;

// The map kit's quiet services: its configuration ("/v3/config/resource") and the upload of its
// analytics logs ("/ws/log/upload"), whose records are decrypted and kept in the data file.
// Each request is logged with the headers the kit stamps on it. Tests switch the policies.
class ServicesEndpoints {
  public:
    using Log = std::function<void(const std::string&)>;
    using WithDatabase = std::function<void(const std::function<void(Database&)>&)>;

    // Uploads decoded at once; as many more wait their turn, in the order they came, for up to
    // kUploadPlaceWait; one more than that is answered 503 at once.
    static constexpr std::size_t kUploadsDecodedAtOnce = 4;
    static constexpr std::size_t kUploadsWaitingAtOnce = 4;
    static constexpr std::chrono::seconds kUploadPlaceWait{10};
    // The key the devserver knows from the start; the application registers it.
    static constexpr const char* kDevelopmentKey = "brisfold-development";
    // "GET" or "POST" for a path served here; nothing for another path.
    static const char* methodForPath(std::string_view path);
    // The most body a path served here takes: the log upload's own limit; 0 for another path.
    static std::size_t maxBodyBytes(std::string_view path);

    // keptLogBytes: what the analytics log keeps of its records' texts; the oldest go first.
    ServicesEndpoints(Log log, WithDatabase withDatabase, std::size_t keptLogBytes);
    void install(httplib::Server& http);
    // Answers, in the upload's own terms, what the common pre-routing would refuse; true if it
    // answered.
    bool refuse(const httplib::Request& request, httplib::Response& response) const;

    void addKnownKey(const std::string& key);
    // "1" or "0" in the configuration's "ex_isupload" and "com_isupload".
    void setExceptionUpload(bool allowed) { exceptionUpload_ = allowed; }
    void setCommonUpload(bool allowed) { commonUpload_ = allowed; }
    // A status other than 200 answers every upload with it, and stores nothing.
    void setUploadStatus(int status) { uploadStatus_ = status; }
    // A code other than 1 answers every valid upload with it, and stores nothing.
    void setUploadReplyCode(int code) { uploadReplyCode_ = code; }

    // What was stored so far, in arrival order: {"header": ..., "record": ...} each.
    std::vector<nlohmann::json> storedLogs() const;

  private:
    void answerConfiguration(const httplib::Request& request, httplib::Response& response);
    void answerUpload(const httplib::Request& request, httplib::Response& response,
                      const httplib::ContentReader& reader);
    bool knownKey(const std::string& key) const;
    std::string stamped(const httplib::Request& request) const;

    Log log_;
    WithDatabase withDatabase_;
    const std::size_t keptLogBytes_;
    mutable std::mutex mutex_;  // guards knownKeys_
    std::set<std::string> knownKeys_{kDevelopmentKey};
    std::atomic<bool> exceptionUpload_ = true;
    std::atomic<bool> commonUpload_ = true;
    std::atomic<int> uploadStatus_ = 200;
    std::atomic<int> uploadReplyCode_ = 1;
    // Places given in arrival order: a sender that posts back to back cannot keep others out.
    class DecodingPlaces {
      public:
        // Whether a place was given before the wait ran out; false at once when too many wait.
        bool take();
        void give();

      private:
        std::mutex mutex_;
        std::condition_variable changed_;
        std::size_t free_ = kUploadsDecodedAtOnce;
        std::uint64_t nextTicket_ = 0;
        std::deque<std::uint64_t> waiting_;
    };

    // Decoding an upload takes up to a few MiB.
    DecodingPlaces decodingPlaces_;
};

}  // namespace devserver

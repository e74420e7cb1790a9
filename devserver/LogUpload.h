#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace devserver {

// The map kit's analytics upload opened: the header facts and every record, decrypted; only the
// fields the kit writes are kept.
struct LogUpload {
    nlohmann::json header;                // includes "key"
    std::vector<nlohmann::json> records;  // "nt", "np", "timestamp", "et", "classname", "detail"
};

// The private half of the map kit's certificate; only this server reads what the kit seals.
class LogKey {
  public:
    static const LogKey& shared();
    // A sealed text ("<Base64 RSA block of key and IV>:<Base64 AES-256-CBC cipher text>")
    // opened; nothing when anything about it is wrong.
    std::optional<std::string> open(std::string_view sealed) const;

  private:
    LogKey();
    std::shared_ptr<EVP_PKEY> key_;
};

// What one upload may build, whatever it inflates to: a body past any bound is refused whole,
// before anything of its records is kept.
inline constexpr std::size_t kMaxLogUploadInflated = 1024 * 1024;
// Five times the kit's largest upload, its 200 error records.
inline constexpr std::size_t kMaxLogUploadRecords = 1000;
// The kit's own form: the body's object, its "els" array and the entries in that.
inline constexpr std::size_t kMaxLogUploadDepth = 3;

// Whether the header's "key" is one the server knows; any key when empty.
using LogUploadKeyCheck = std::function<bool(const std::string&)>;

// Gunzips, parses and decrypts an upload body; nothing, with the reason, when any part is wrong.
// The header is opened, and its key checked, before any record is read.
std::optional<LogUpload> decodeLogUpload(std::string_view gzipBody, std::string* why = nullptr,
                                         const LogUploadKeyCheck& knownKey = {});
// The same for the body's JSON text, once inflated.
std::optional<LogUpload> decodeLogUploadText(std::string_view text, std::string* why = nullptr,
                                             const LogUploadKeyCheck& knownKey = {});

}  // namespace devserver

#pragma once

#include <cstddef>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace devserver {

// The map kit's analytics upload opened: the header facts and every record, decrypted.
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

// Inflated bodies larger than this are refused, so a small bomb cannot take the server's memory.
inline constexpr std::size_t kMaxLogUploadInflated = 16 * 1024 * 1024;

// Gunzips, parses and decrypts an upload body; nothing, with the reason, when any part is wrong.
std::optional<LogUpload> decodeLogUpload(std::string_view gzipBody, std::string* why = nullptr);
// The same for the body's JSON text, once inflated.
std::optional<LogUpload> decodeLogUploadText(std::string_view text, std::string* why = nullptr);

}  // namespace devserver

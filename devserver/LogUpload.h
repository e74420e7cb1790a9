#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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
    std::size_t keysOpened = 0;           // private-key decryptions it cost
};

// The private half of the map kit's certificate; only this server reads what the kit seals.
class LogKey {
  public:
    // The AES-256 key, then the IV, that a sealed text's RSA block carries.
    using Opened = std::array<std::uint8_t, 48>;

    static const LogKey& shared();
    // A sealed text ("<Base64 RSA block of key and IV>:<Base64 AES-256-CBC cipher text>")
    // opened; nothing when anything about it is wrong.
    std::optional<std::string> open(std::string_view sealed) const;
    // The key and IV of the Base64 RSA block: one private-key decryption, the costly part.
    std::optional<Opened> openBlock(std::string_view block) const;
    // The Base64 cipher text decrypted with a block's key and IV.
    static std::optional<std::string> openCipher(const Opened& keyAndIV, std::string_view cipher);

  private:
    LogKey();
    std::shared_ptr<EVP_PKEY> key_;
};

// What one upload may build, whatever it inflates to: a body past any bound is refused whole,
// before anything of its records is kept.
inline constexpr std::size_t kMaxLogUploadInflated = 1024 * 1024;
// The kit's largest upload, its 200 error records.
inline constexpr std::size_t kMaxLogUploadRecords = 200;
// Each of the header's texts; the kit's are names, versions, an MD5 in hex and a key.
inline constexpr std::size_t kMaxLogHeaderFieldBytes = 256;
// What an RSA block of its own costs a sender at least: its 256 random bytes, which no
// compression shrinks. An upload with more blocks than its bytes could carry at half that is
// refused before any is opened; a block that repeats is opened once.
inline constexpr std::size_t kMinSentBytesPerLogBlock = 128;
// The kit's own form: the body's object, its "els" array and the entries in that.
inline constexpr std::size_t kMaxLogUploadDepth = 3;

// Whether the header's "key" is one the server knows; any key when empty.
using LogUploadKeyCheck = std::function<bool(const std::string&)>;

// Gunzips, parses and decrypts an upload body; nothing, with the reason, when any part is wrong.
// The header is opened, and its key checked, before any record is read. The RSA blocks it may
// open are bounded by the body's bytes as sent.
std::optional<LogUpload> decodeLogUpload(std::string_view gzipBody, std::string* why = nullptr,
                                         const LogUploadKeyCheck& knownKey = {});
// The same for the body's JSON text, once inflated; its blocks are bounded by the text's bytes.
std::optional<LogUpload> decodeLogUploadText(std::string_view text, std::string* why = nullptr,
                                             const LogUploadKeyCheck& knownKey = {});

}  // namespace devserver

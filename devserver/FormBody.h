#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devserver {

// A request field that is missing or unusable; answered as {"code":"0","tip":message}.
struct BadRequest {
    std::string tip;
};

// A form-encoded request body. The app sends "key=value&key=value" without escaping its
// values, other clients escape them; both are read the same way.
class FormBody {
  public:
    // Fails (with a message for the user) on text that is not UTF-8 after decoding, an empty
    // key or a key given twice: an unescaped '&' in a value would otherwise smuggle in keys.
    static std::optional<FormBody> parse(std::string_view body, std::string* error = nullptr);

    bool has(std::string_view key) const;
    std::optional<std::string> optional(std::string_view key) const;
    // Present and not empty, else throws BadRequest naming the key.
    const std::string& required(std::string_view key) const;
    // A whole number from min to max; absent gives fallback; anything else throws BadRequest.
    int64_t integer(std::string_view key, int64_t fallback, int64_t min, int64_t max) const;

    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

  private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// '+' is a space and valid %XX sequences are decoded; a '%' that starts no valid sequence is
// kept as it is, since the app sends raw text such as "50%". Absent when the result is not UTF-8.
std::optional<std::string> formDecode(std::string_view text);

}  // namespace devserver

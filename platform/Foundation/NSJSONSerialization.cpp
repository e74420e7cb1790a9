#include "NSJSONSerialization.h"

#include <cmath>

namespace {
constexpr int kMaxDepth = 512;
constexpr long kReadCorruptError = 3840;
constexpr long kWriteInvalidError = 3852;

NSError jsonError(long code, const std::string& why) {
    NSError error =
        NSError::make(NSCocoaErrorDomain, code,
                      code == kReadCorruptError
                          ? "The data couldn't be read because it isn't in the correct format."
                          : "The data couldn't be written because it isn't in the correct format.");
    error.userInfo["NSDebugDescription"] = why;
    return error;
}

struct TooDeep {};

// Checks every value for a JSON form without recursion, so that deep values cannot exhaust the
// stack here.
bool writable(const nlohmann::json& root, std::string& why) {
    std::vector<const nlohmann::json*> pending{&root};
    while (!pending.empty()) {
        const nlohmann::json* value = pending.back();
        pending.pop_back();
        if (value->is_binary()) {
            why = "Invalid type in JSON write (data)";
            return false;
        }
        if (value->is_number_float() && !std::isfinite(value->get<double>())) {
            why = "Invalid number value (not finite) in JSON write";
            return false;
        }
        if (value->is_structured())
            for (const auto& child : *value) pending.push_back(&child);
    }
    return true;
}
}  // namespace

std::optional<nlohmann::json> NSJSONSerialization::JSONObjectWithData(std::string_view data,
                                                                      unsigned options,
                                                                      NSError* error) {
    if (data.empty()) {
        if (error) *error = jsonError(kReadCorruptError, "Unable to parse empty data.");
        return std::nullopt;
    }
    nlohmann::json value;
    try {
        value =
            nlohmann::json::parse(data.begin(), data.end(),
                                  [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
                                      if (depth > kMaxDepth) throw TooDeep{};
                                      return true;
                                  });
    } catch (const TooDeep&) {
        if (error) *error = jsonError(kReadCorruptError, "JSON nests too deeply.");
        return std::nullopt;
    } catch (const nlohmann::json::exception& e) {
        if (error) *error = jsonError(kReadCorruptError, e.what());
        return std::nullopt;
    }
    if (!(options & NSJSONReadingFragmentsAllowed) && !value.is_structured()) {
        if (error)
            *error = jsonError(kReadCorruptError,
                               "JSON text did not start with array or object and option to "
                               "allow fragments not set.");
        return std::nullopt;
    }
    return value;
}

std::optional<nlohmann::json> NSJSONSerialization::JSONObjectWithData(
    std::span<const std::uint8_t> data, unsigned options, NSError* error) {
    return JSONObjectWithData(
        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), options, error);
}

std::optional<std::string> NSJSONSerialization::dataWithJSONObject(const nlohmann::json& value,
                                                                   unsigned options,
                                                                   NSError* error) {
    std::string why;
    if (!(options & NSJSONWritingFragmentsAllowed) && !value.is_structured()) {
        why = "Invalid top-level type in JSON write";
    } else if (writable(value, why)) {
        try {
            return value.dump();
        } catch (const nlohmann::json::exception& e) {
            why = e.what();
        }
    }
    if (error) *error = jsonError(kWriteInvalidError, why);
    return std::nullopt;
}

bool NSJSONSerialization::isValidJSONObject(const nlohmann::json& value) {
    return dataWithJSONObject(value).has_value();
}

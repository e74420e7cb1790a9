#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// An immutable box for a plain value, tagged with its type encoding, so that structs can travel
// in containers of values. A value reads back only as the type it was boxed as: a reader that
// names another encoding or size gets nothing rather than a copy past the held bytes.
class NSValue {
  public:
    template <class T>
    requires std::is_trivially_copyable_v<T>
    static NSValue valueWithBytes(const T& value, std::string_view objCType) {
        return NSValue(std::as_bytes(std::span(&value, 1)), objCType);
    }

    const std::string& objCType() const { return objCType_; }

    template <class T>
    requires std::is_trivially_copyable_v<T> && std::is_default_constructible_v<T> std::optional<T>
    getValue(std::string_view objCType)
    const {
        if (objCType != objCType_ || bytes_.size() != sizeof(T)) return std::nullopt;
        T out;
        std::memcpy(&out, bytes_.data(), sizeof(T));
        return out;
    }

    // Same encoding and the same bytes, as the platform compares values.
    bool isEqualToValue(const NSValue& other) const { return *this == other; }
    bool operator==(const NSValue&) const = default;

  private:
    NSValue(std::span<const std::byte> bytes, std::string_view objCType)
        : objCType_(objCType), bytes_(bytes.begin(), bytes.end()) {}

    std::string objCType_;
    std::vector<std::byte> bytes_;
};

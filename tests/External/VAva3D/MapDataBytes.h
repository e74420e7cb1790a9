#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Map data answers, records and traffic payloads built byte by byte, for tests.
namespace testbytes {

using Bytes = std::vector<std::uint8_t>;

inline void int32(Bytes& out, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline Bytes header(std::int32_t first) {
    Bytes out;
    int32(out, first);
    int32(out, 0);
    return out;
}

template <class... More>
Bytes cat(Bytes first, const More&... more) {
    (first.insert(first.end(), more.begin(), more.end()), ...);
    return first;
}

inline Bytes body(std::string_view name, std::string_view data) {
    Bytes out(4, 0);
    out.push_back(static_cast<std::uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline Bytes trafficBody(std::string_view name, std::string_view tag, std::int32_t stamp,
                         std::string_view data) {
    Bytes out = body(name, "");
    out.push_back(static_cast<std::uint8_t>(tag.size()));
    out.insert(out.end(), tag.begin(), tag.end());
    int32(out, stamp);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline Bytes record(const Bytes& body) {
    return cat(header(static_cast<std::int32_t>(body.size())), body);
}

inline Bytes answer(std::int32_t status, std::initializer_list<Bytes> records) {
    Bytes out = header(status);
    for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
    return out;
}

inline std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace testbytes

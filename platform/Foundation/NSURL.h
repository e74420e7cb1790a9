#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "NSObject.h"

// An absolute or relative reference in the generic URL syntax. The text is kept as given;
// accessors split it into its parts.
class NSURL : public NSObject {
  public:
    // Absent for text that is not a URL: empty, spaces, non-ASCII or other characters that must
    // be percent-encoded, malformed escapes, a bad scheme or a port that is not a number < 65536.
    static std::shared_ptr<NSURL> URLWithString(std::string_view string);
    // A "file://" URL for the path, made absolute against the working directory.
    static std::shared_ptr<NSURL> fileURLWithPath(std::string_view path);

    const std::string& absoluteString() const { return string_; }
    // Lower-cased, as scheme comparisons are case-insensitive; empty for a relative reference.
    const std::string& scheme() const { return scheme_; }
    // Without the brackets of an IPv6 literal; empty when there is no authority.
    const std::string& host() const { return host_; }
    std::optional<int> port() const { return port_; }
    const std::string& user() const { return user_; }
    // Decoded, without a trailing "/" (except for the root path itself).
    std::string path() const;
    const std::string& percentEncodedPath() const { return path_; }
    // As written, without the "?"; empty when absent.
    const std::string& query() const { return query_; }
    const std::string& fragment() const { return fragment_; }
    bool isFileURL() const { return scheme_ == "file"; }

  private:
    NSURL() = default;

    std::string string_;
    std::string scheme_;
    std::string user_;
    std::string host_;
    std::optional<int> port_;
    std::string path_;
    std::string query_;
    std::string fragment_;
};

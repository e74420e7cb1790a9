#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "NSURL.h"

// One cookie as a server set it, with the attributes that decide where it goes back to.
class NSHTTPCookie {
  public:
    using Date = std::chrono::system_clock::time_point;

    // The cookie of one Set-Cookie field value received from url, by the usual rules: a domain
    // that does not cover the host, a malformed pair or an oversized one gives nothing. An
    // expiry already past gives a cookie that isExpired(), which removes its namesake.
    static std::optional<NSHTTPCookie> cookieWithSetCookieValue(std::string_view value,
                                                                const NSURL& url, Date now);

    const std::string& name() const { return name_; }
    const std::string& value() const { return value_; }
    // Lower case, without a leading dot.
    const std::string& domain() const { return domain_; }
    const std::string& path() const { return path_; }
    // Absent for a cookie that lasts the session only.
    const std::optional<Date>& expiresDate() const { return expires_; }
    bool isSessionOnly() const { return !expires_; }
    bool isSecure() const { return secure_; }
    bool isHTTPOnly() const { return httpOnly_; }
    // Sent to its domain only, not to the domain's subdomains.
    bool isHostOnly() const { return hostOnly_; }

    bool isExpired(Date now) const { return expires_ && *expires_ <= now; }
    // Whether a request to url carries it (expiry aside).
    bool matchesURL(const NSURL& url) const;
    // The same cookie slot: a newer one replaces an older one.
    bool sameSlot(const NSHTTPCookie& other) const {
        return name_ == other.name_ && domain_ == other.domain_ && path_ == other.path_;
    }

    // The form kept on disk; absent for text that is not one.
    std::string storedForm() const;
    static std::optional<NSHTTPCookie> fromStoredForm(std::string_view text);

  private:
    std::string name_;
    std::string value_;
    std::string domain_;
    std::string path_;
    std::optional<Date> expires_;
    bool secure_ = false;
    bool httpOnly_ = false;
    bool hostOnly_ = true;
};

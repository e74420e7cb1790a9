#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "NSHTTPCookie.h"
#include "NSObject.h"

// The cookies the URL loading keeps: Set-Cookie fields of answers are stored here, and requests
// carry the cookies that match them. Cookies with an expiry are kept in a file readable by its
// owner only (the shared store's is Library/Cookies/Cookies.json of the app home), written whole
// beside it and renamed over; those of the session only live as long as the store. Safe to use
// from any thread.
class NSHTTPCookieStorage : public NSObject {
  public:
    using Now = std::function<NSHTTPCookie::Date()>;

    // The store of the current app home: a new home gets the store of its own file.
    static std::shared_ptr<NSHTTPCookieStorage> sharedHTTPCookieStorage();
    // A store backed by the given file; now tells the time (tests move it by hand).
    static std::shared_ptr<NSHTTPCookieStorage> create(std::string path, Now now = {});

    const std::string& path() const { return path_; }

    // Stores a Set-Cookie field value received from url; a cookie already past its expiry removes
    // the one it names. False when the value was refused.
    bool setCookieFromHeader(std::string_view value, const NSURL& url);
    void setCookie(const NSHTTPCookie& cookie);
    // The live cookies a request to url carries, longest path first.
    std::vector<NSHTTPCookie> cookiesForURL(const NSURL& url) const;
    // The Cookie field value for a request to url; empty when no cookie matches.
    std::string cookieHeaderForURL(const NSURL& url) const;
    std::vector<NSHTTPCookie> cookies() const;
    void deleteCookie(const NSHTTPCookie& cookie);
    // Forgets every cookie, on disk too (signing out): false (and logged) when the file stays.
    bool removeAllCookies();

  private:
    NSHTTPCookieStorage(std::string path, Now now);
    void load();
    // Caller holds mutex_.
    void dropExpired();
    void save() const;

    const std::string path_;
    const Now now_;
    mutable std::mutex mutex_;  // guards cookies_ and the file
    std::vector<NSHTTPCookie> cookies_;
};

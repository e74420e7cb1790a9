#include "NSHTTPCookieStorage.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "NSData.h"
#include "NSLog.h"
#include "NSPathUtilities.h"

namespace {

// Per domain; the oldest goes first when a server keeps adding.
constexpr size_t kMaxCookiesPerDomain = 50;

std::mutex gSharedCookiesMutex;

}  // namespace

NSHTTPCookieStorage::NSHTTPCookieStorage(std::string path, Now now)
    : path_(std::move(path)),
      now_(now ? std::move(now) : [] { return std::chrono::system_clock::now(); }) {}

std::shared_ptr<NSHTTPCookieStorage> NSHTTPCookieStorage::create(std::string path, Now now) {
    auto storage =
        std::shared_ptr<NSHTTPCookieStorage>(new NSHTTPCookieStorage(std::move(path), now));
    storage->load();
    return storage;
}

std::shared_ptr<NSHTTPCookieStorage> NSHTTPCookieStorage::sharedHTTPCookieStorage() {
    // Never destroyed: a queue's worker may still start a transfer while the process exits.
    static auto& shared = *new std::shared_ptr<NSHTTPCookieStorage>();
    const std::string path =
        (std::filesystem::path(NSHomeDirectory()) / "Library" / "Cookies" / "Cookies.json")
            .string();
    std::lock_guard lock(gSharedCookiesMutex);
    if (!shared || shared->path() != path) shared = create(path);
    return shared;
}

void NSHTTPCookieStorage::load() {
    NSDataRemoveStaleTemporaries(path_);
    // Older versions wrote through a temporary of this fixed name, which a crash left in clear.
    std::error_code ec;
    std::filesystem::remove(path_ + ".tmp", ec);
    std::ifstream in(path_);
    if (!in) return;
    std::stringstream text;
    text << in.rdbuf();
    const auto json = nlohmann::json::parse(text.str(), nullptr, false);
    if (!json.is_array()) {
        NSLog("Cookies: %s is damaged; starting without cookies", path_.c_str());
        return;
    }
    std::lock_guard lock(mutex_);
    for (const auto& entry : json) {
        if (!entry.is_string()) continue;
        if (auto cookie = NSHTTPCookie::fromStoredForm(entry.get<std::string>()))
            cookies_.push_back(std::move(*cookie));
    }
    dropExpired();
}

void NSHTTPCookieStorage::dropExpired() {
    const auto now = now_();
    std::erase_if(cookies_, [&](const NSHTTPCookie& c) { return c.isExpired(now); });
}

void NSHTTPCookieStorage::save() const {
    nlohmann::json json = nlohmann::json::array();
    for (const auto& cookie : cookies_) {
        if (!cookie.isSessionOnly()) json.push_back(cookie.storedForm());
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    NSError error;
    // Owner-only whatever the umask: they carry the session.
    if (!NSDataWriteToFile(NSDataFromString(json.dump()), path_, true, &error, 0600))
        NSLog("Cookies: cannot write %s: %s", path_.c_str(), error.localizedDescription.c_str());
}

bool NSHTTPCookieStorage::setCookieFromHeader(std::string_view value, const NSURL& url) {
    const auto cookie = NSHTTPCookie::cookieWithSetCookieValue(value, url, now_());
    if (!cookie) return false;
    setCookie(*cookie);
    return true;
}

void NSHTTPCookieStorage::setCookie(const NSHTTPCookie& cookie) {
    std::lock_guard lock(mutex_);
    const bool hadPersistent = std::any_of(cookies_.begin(), cookies_.end(), [&](const auto& c) {
        return c.sameSlot(cookie) && !c.isSessionOnly();
    });
    std::erase_if(cookies_, [&](const NSHTTPCookie& c) { return c.sameSlot(cookie); });
    dropExpired();
    if (!cookie.isExpired(now_())) {
        const auto sameDomain = [&](const NSHTTPCookie& c) {
            return c.domain() == cookie.domain();
        };
        if (static_cast<size_t>(std::count_if(cookies_.begin(), cookies_.end(), sameDomain)) >=
            kMaxCookiesPerDomain)
            cookies_.erase(std::find_if(cookies_.begin(), cookies_.end(), sameDomain));
        cookies_.push_back(cookie);
    }
    if (hadPersistent || !cookie.isSessionOnly()) save();
}

std::vector<NSHTTPCookie> NSHTTPCookieStorage::cookiesForURL(const NSURL& url) const {
    const auto now = now_();
    std::vector<NSHTTPCookie> found;
    {
        std::lock_guard lock(mutex_);
        for (const auto& cookie : cookies_) {
            if (!cookie.isExpired(now) && cookie.matchesURL(url)) found.push_back(cookie);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.path().size() > b.path().size();
    });
    return found;
}

std::string NSHTTPCookieStorage::cookieHeaderForURL(const NSURL& url) const {
    std::string header;
    for (const auto& cookie : cookiesForURL(url)) {
        if (!header.empty()) header += "; ";
        header += cookie.name() + "=" + cookie.value();
    }
    return header;
}

std::vector<NSHTTPCookie> NSHTTPCookieStorage::cookies() const {
    std::lock_guard lock(mutex_);
    return cookies_;
}

void NSHTTPCookieStorage::deleteCookie(const NSHTTPCookie& cookie) {
    std::lock_guard lock(mutex_);
    std::erase_if(cookies_, [&](const NSHTTPCookie& c) { return c.sameSlot(cookie); });
    save();
}

bool NSHTTPCookieStorage::removeAllCookies() {
    std::lock_guard lock(mutex_);
    cookies_.clear();
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    if (ec) NSLog("Cookies: cannot remove %s: %s", path_.c_str(), ec.message().c_str());
    return !ec;
}

#include "Sessions.h"

#include <httplib.h>

#include <vector>

#include "PasswordHash.h"

namespace devserver {

namespace {

// 256 bits: far beyond guessing, and the hash kept of it is a plain digest.
constexpr size_t kSessionTokenBytes = 32;

int64_t unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string_view trimmedSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The session tokens a Cookie field carries, in their order.
std::vector<std::string_view> sessionTokens(std::string_view cookieField) {
    std::vector<std::string_view> tokens;
    while (!cookieField.empty()) {
        const auto semicolon = cookieField.find(';');
        const std::string_view pair = trimmedSpaces(cookieField.substr(0, semicolon));
        cookieField = semicolon == std::string_view::npos ? std::string_view()
                                                          : cookieField.substr(semicolon + 1);
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos &&
            trimmedSpaces(pair.substr(0, equals)) == kSessionCookieName)
            tokens.push_back(trimmedSpaces(pair.substr(equals + 1)));
    }
    return tokens;
}

}  // namespace

std::string openSession(Database& db, const std::string& engineerId) {
    const int64_t now = unixNow();
    db.run("DELETE FROM sessions WHERE expires_at <= ?", now);
    const std::string token = randomHex(kSessionTokenBytes);
    db.run("INSERT INTO sessions (token_hash, engineer_id, expires_at) VALUES (?, ?, ?)",
           tokenHash(token), engineerId, now + kSessionLifetime.count());
    return std::string(kSessionCookieName) + "=" + token +
           "; Path=/; Max-Age=" + std::to_string(kSessionLifetime.count()) +
           "; HttpOnly; SameSite=Strict";
}

std::string sessionEngineer(Database& db, std::string_view cookieField) {
    const int64_t now = unixNow();
    for (const std::string_view token : sessionTokens(cookieField)) {
        auto row =
            db.query("SELECT engineer_id FROM sessions WHERE token_hash = ? AND expires_at > ?",
                     tokenHash(token), now);
        if (row.step()) return row.text(0);
    }
    return {};
}

std::string closeSessions(Database& db, std::string_view cookieField) {
    for (const std::string_view token : sessionTokens(cookieField))
        db.run("DELETE FROM sessions WHERE token_hash = ?", tokenHash(token));
    return std::string(kSessionCookieName) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict";
}

std::string cookieField(const httplib::Request& request) {
    std::string cookies;
    for (size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
        if (i > 0) cookies += "; ";
        cookies += request.get_header_value("Cookie", i);
    }
    return cookies;
}

std::optional<AccessRefusal> refuseAccess(const ApiAccess& access, const FormBody& form,
                                          const std::string& engineer) {
    if (access.kind == ApiAccess::Public) return std::nullopt;
    std::optional<std::string> named;
    if (access.kind == ApiAccess::Engineer) {
        named = form.required(access.engineerKey);
    } else if (access.kind == ApiAccess::OptionalEngineer) {
        named = form.optional(access.engineerKey);
        if (!named || named->empty()) return std::nullopt;
    }
    if (engineer.empty()) return AccessRefusal{401, std::string(kSessionExpiredTip)};
    if (named && *named != engineer) return AccessRefusal{403, std::string(kForbiddenTip)};
    return std::nullopt;
}

}  // namespace devserver

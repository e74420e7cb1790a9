#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "ApiRouter.h"
#include "Database.h"
#include "FormBody.h"

namespace httplib {
struct Request;
}

namespace devserver {

// The cookie that carries an engineer's session; the login sets it.
inline constexpr std::string_view kSessionCookieName = "brisfold_session";
inline constexpr std::chrono::seconds kSessionLifetime = std::chrono::hours(24 * 30);

// Opens a session for the engineer and returns the Set-Cookie value that hands it out. The
// data file keeps only the token's hash and the expiry.
std::string openSession(Database& db, const std::string& engineerId);

// The engineer of the live session the request's Cookie field names; empty when it names
// none, an unknown one or an expired one.
std::string sessionEngineer(Database& db, std::string_view cookieField);

// Ends every session the request's Cookie field names and returns the Set-Cookie value that
// takes the cookie back.
std::string closeSessions(Database& db, std::string_view cookieField);

// The request's Cookie fields, joined with "; ".
std::string cookieField(const httplib::Request& request);

inline constexpr std::string_view kSessionExpiredTip = "登录已失效，请重新登录";
inline constexpr std::string_view kForbiddenTip = "无权访问";

struct AccessRefusal {
    int status;
    std::string tip;
};

// Why the endpoint's access rule refuses this body from this session's engineer; nothing when
// it is let through. Throws BadRequest for a required engineer key that is missing.
std::optional<AccessRefusal> refuseAccess(const ApiAccess& access, const FormBody& form,
                                          const std::string& engineer);

}  // namespace devserver

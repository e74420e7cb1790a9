#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "Database.h"
#include "FormBody.h"

namespace devserver {

struct ApiRequest {
    const FormBody& form;
    Database& db;
    // The engineer of the request's live session; empty without one.
    const std::string& sessionEngineer;
    // Held while the handler runs; a handler may let go of it for slow work that reads and
    // writes no data (hashing a password), and must take it again before touching the data.
    std::unique_lock<std::mutex>& dbLock;
    // A handler that opens or ends a session sets the Set-Cookie value of its reply here.
    std::string& setCookie;
    // The request's Cookie fields, joined with "; ".
    const std::string& cookies;
};

// Devices a detail reply lists before the engineer pages on.
inline constexpr int kDetailDevices = 3;

// The form's "brisfoldID" when it names a known engineer; throws BadRequest otherwise.
const std::string& knownEngineer(const ApiRequest& request);
// Throws BadRequest unless the ID names a known engineer.
void requireEngineer(const ApiRequest& request, const std::string& id);
// The form's "lastDateTime": empty, or a time as the lists' "AddDate" gives it
// ("2026-11-30 09:15:02.123"), a date alone or a time without its fraction; fixed widths keep the
// text order the time order. Anything else throws BadRequest.
std::string lastDateTime(const FormBody& form);
// Removes the members that are null, which the service leaves out of its replies.
void dropNulls(nlohmann::json& object);

// Returns the reply object; throws BadRequest for a missing or unusable field.
using ApiHandler = std::function<nlohmann::json(const ApiRequest&)>;

// Who may call an endpoint. Engineer data needs a live session, and the engineer the body
// names must be the session's.
struct ApiAccess {
    enum Kind {
        Public,
        // Any live session; the handler itself checks what it touches belongs to it.
        Session,
        // A live session whose engineer the body names under engineerKey.
        Engineer,
        // As Engineer when the body names one; without, the reply holds public data only.
        OptionalEngineer,
    };
    Kind kind = Public;
    const char* engineerKey = nullptr;
};

struct ApiEndpoint {
    ApiHandler handler;
    ApiAccess access;
};

// The service API's endpoint table, keyed by the path after "/api/" ("Engineer/Login").
// Each area (Engineer, AskPrice, Order, NewsCenter) adds its endpoints through its own
// register function.
class ApiRouter {
  public:
    void add(std::string path, ApiHandler handler, ApiAccess access = {});
    const ApiEndpoint* find(std::string_view path) const;
    const std::map<std::string, ApiEndpoint, std::less<>>& endpoints() const { return handlers_; }

  private:
    std::map<std::string, ApiEndpoint, std::less<>> handlers_;
};

// The action reply envelope: {"code":"1"|"0","tip":...}.
nlohmann::json actionReply(bool success, std::string tip);

}  // namespace devserver

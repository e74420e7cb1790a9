#pragma once

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "Database.h"
#include "FormBody.h"

namespace devserver {

struct ApiRequest {
    const FormBody& form;
    Database& db;
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

// The service API's endpoint table, keyed by the path after "/api/" ("Engineer/Login").
// Each area (Engineer, AskPrice, Order, NewsCenter) adds its endpoints through its own
// register function.
class ApiRouter {
  public:
    void add(std::string path, ApiHandler handler);
    const ApiHandler* find(std::string_view path) const;

  private:
    std::map<std::string, ApiHandler, std::less<>> handlers_;
};

// The action reply envelope: {"code":"1"|"0","tip":...}.
nlohmann::json actionReply(bool success, std::string tip);

}  // namespace devserver

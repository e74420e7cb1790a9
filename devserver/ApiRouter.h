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

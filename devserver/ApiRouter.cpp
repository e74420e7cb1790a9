#include "ApiRouter.h"

#include <regex>
#include <stdexcept>

namespace devserver {

void ApiRouter::add(std::string path, ApiHandler handler, ApiAccess access) {
    if (access.kind != ApiAccess::Public && access.kind != ApiAccess::Session &&
        access.engineerKey == nullptr)
        throw std::logic_error("an engineer's endpoint names its engineer key");
    if (!handlers_.emplace(std::move(path), ApiEndpoint{std::move(handler), access}).second) {
        throw std::logic_error("endpoint registered twice");
    }
}

const ApiEndpoint* ApiRouter::find(std::string_view path) const {
    const auto it = handlers_.find(path);
    return it == handlers_.end() ? nullptr : &it->second;
}

void requireEngineer(const ApiRequest& request, const std::string& id) {
    if (request.db.scalar("SELECT COUNT(*) FROM engineers WHERE user_id = ?", id) == 0) {
        throw BadRequest{"工程师不存在"};
    }
}

const std::string& knownEngineer(const ApiRequest& request) {
    const std::string& id = request.form.required("brisfoldID");
    requireEngineer(request, id);
    return id;
}

std::string lastDateTime(const FormBody& form) {
    static const std::regex kShape(R"(\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2}(\.\d{1,6})?)?)");
    std::string text = form.optional("lastDateTime").value_or("");
    if (!text.empty() && !std::regex_match(text, kShape)) {
        throw BadRequest{"参数无效: lastDateTime"};
    }
    return text;
}

void dropNulls(nlohmann::json& object) {
    for (auto it = object.begin(); it != object.end();) {
        it = it->is_null() ? object.erase(it) : std::next(it);
    }
}

nlohmann::json actionReply(bool success, std::string tip) {
    return {{"code", success ? "1" : "0"}, {"tip", std::move(tip)}};
}

}  // namespace devserver

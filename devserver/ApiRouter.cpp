#include "ApiRouter.h"

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

nlohmann::json actionReply(bool success, std::string tip) {
    return {{"code", success ? "1" : "0"}, {"tip", std::move(tip)}};
}

}  // namespace devserver

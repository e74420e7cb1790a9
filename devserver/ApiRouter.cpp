#include "ApiRouter.h"

#include <stdexcept>

namespace devserver {

void ApiRouter::add(std::string path, ApiHandler handler) {
    if (!handlers_.emplace(std::move(path), std::move(handler)).second) {
        throw std::logic_error("endpoint registered twice");
    }
}

const ApiHandler* ApiRouter::find(std::string_view path) const {
    const auto it = handlers_.find(path);
    return it == handlers_.end() ? nullptr : &it->second;
}

nlohmann::json actionReply(bool success, std::string tip) {
    return {{"code", success ? "1" : "0"}, {"tip", std::move(tip)}};
}

}  // namespace devserver

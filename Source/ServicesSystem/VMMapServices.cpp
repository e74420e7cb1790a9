#include "VMMapServices.h"

#include <mutex>

namespace {

// Until the application points them at its server, the addresses name this machine, so that a
// kit that was never configured cannot send anything elsewhere.
constexpr const char* kDefaultServerBase = "http://127.0.0.1/";

}  // namespace

VMMapServices::VMMapServices()
    : internalServerAddress_(kDefaultServerBase),
      trafficServerAddress_(std::string(kDefaultServerBase) + "trafficengine/vadedu/"),
      manifestServerAddress_(std::string(kDefaultServerBase) + "v3/config/resource") {}

std::shared_ptr<VMMapServices> VMMapServices::sharedServices() {
    static std::once_flag once;
    static std::shared_ptr<VMMapServices> shared;
    std::call_once(once, [] { shared.reset(new VMMapServices()); });
    return shared;
}

void VMMapServices::setApiKey(const std::string& apiKey) {
    if (apiKey.empty() || apiKey == apiKey_) {
        return;
    }
    apiKey_ = apiKey;
}

std::string VMMapServices::userAgent() const { return "VAVA_SDK_iOS_3DMap_" + SDKNumberVersion(); }

std::string VMMapServices::SDKNumberVersion() const { return "3.1.0"; }

std::string VMMapServices::SDKVersion() const { return "v" + SDKNumberVersion(); }

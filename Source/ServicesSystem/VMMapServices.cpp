#include "VMMapServices.h"

#include <mutex>

#include "Foundation/Dispatch.h"
#include "VMMapManifest.h"

namespace {

// Until the application points them at its server, the addresses name this machine, so that a
// kit that was never configured cannot send anything elsewhere.
constexpr const char* kDefaultServerBase = "http://127.0.0.1/";

std::string defaultTrafficServerAddress() {
    return std::string(kDefaultServerBase) + "trafficengine/vadedu/";
}

}  // namespace

VMMapServices::VMMapServices()
    : internalServerAddress_(kDefaultServerBase),
      trafficServerAddress_(defaultTrafficServerAddress()),
      manifestServerAddress_(std::string(kDefaultServerBase) + "v3/config/resource") {}

std::shared_ptr<VMMapServices> VMMapServices::sharedServices() {
    static std::once_flag once;
    static std::shared_ptr<VMMapServices> shared;
    std::call_once(once, [] { shared.reset(new VMMapServices()); });
    return shared;
}

std::string VMMapServices::apiKey() const {
    std::lock_guard lock(mutex_);
    return apiKey_;
}

void VMMapServices::setApiKey(const std::string& apiKey) {
    if (apiKey.empty()) return;
    std::lock_guard lock(mutex_);
    apiKey_ = apiKey;
}

std::string VMMapServices::internalServerAddress() const {
    std::lock_guard lock(mutex_);
    return internalServerAddress_;
}

void VMMapServices::setInternalServerAddress(const std::string& address) {
    std::lock_guard lock(mutex_);
    internalServerAddress_ = address;
}

std::string VMMapServices::trafficServerAddress() const {
    std::lock_guard lock(mutex_);
    return trafficServerAddress_;
}

void VMMapServices::setTrafficServerAddress(const std::string& address) {
    std::lock_guard lock(mutex_);
    trafficServerAddress_ = address;
}

std::string VMMapServices::manifestServerAddress() const {
    std::lock_guard lock(mutex_);
    return manifestServerAddress_;
}

void VMMapServices::setManifestServerAddress(const std::string& address) {
    std::lock_guard lock(mutex_);
    manifestServerAddress_ = address;
}

std::string VMMapServices::userAgent() const { return "VAVA_SDK_iOS_3DMap_" + SDKNumberVersion(); }

std::string VMMapServices::SDKNumberVersion() const { return "3.1.0"; }

std::string VMMapServices::SDKVersion() const { return "v" + SDKNumberVersion(); }

void VMMapServices::initTrafficBaseAddress() {
    setTrafficServerAddress(defaultTrafficServerAddress());
    VMMapManifest::performManifestRequestWithType(
        VMMapManifestTypeRealStatus, [](std::optional<nlohmann::json> result) {
            if (!result || !result->is_object()) return;
            const auto realStatus = result->find("realstatus");
            if (realStatus == result->end() || !realStatus->is_object()) return;
            const auto url = realStatus->find("url");
            if (url == realStatus->end() || !url->is_string()) return;
            std::string address = url->get<std::string>();
            if (address.empty()) return;
            DispatchQueue::main()->async([address = std::move(address)] {
                sharedServices()->setTrafficServerAddress(address);
            });
        });
}

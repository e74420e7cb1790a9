#include "VMMapManifest.h"

#include <cstdint>
#include <string_view>

#include "Foundation/Dispatch.h"
#include "Foundation/NSJSONSerialization.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSURLUtilities.h"
#include "VMMapServices.h"
#include "VMUserAgent.h"

namespace {

constexpr std::string_view kTypeWords[] = {"exception", "common", "realstatus",
                                           "offlinemap_with_province"};
// A few settings per type: far more than any answer needs.
constexpr std::uint64_t kMaxManifestLength = 1 << 20;

// The key is the application's text: escaped so that it cannot add or end query fields.
std::string queryValue(std::string_view text) {
    static const NSCharacterSet allowed = NSCharacterSet::characterSetWithCharactersInString(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~;");
    return stringByAddingPercentEncodingWithAllowedCharacters(text, allowed);
}

}  // namespace

std::optional<std::string> VMMapManifest::typeStringWithType(unsigned type) {
    std::string words;
    for (unsigned bit = 0; bit < std::size(kTypeWords); ++bit) {
        if ((type & (1u << bit)) == 0) continue;
        if (!words.empty()) words += ";";
        words += kTypeWords[bit];
    }
    if (words.empty()) return std::nullopt;
    return words;
}

std::shared_ptr<NSURL> VMMapManifest::manifestURLWithType(unsigned type) {
    const auto services = VMMapServices::sharedServices();
    const std::string query =
        "opertype=" + queryValue(typeStringWithType(type).value_or("")) +
        "&plattype=iOS&product=3dmap&version=" + queryValue(services->SDKNumberVersion()) +
        "&key=" + queryValue(services->apiKey());
    return NSURL::URLWithString(services->manifestServerAddress() + "?" + query);
}

std::optional<nlohmann::json> VMMapManifest::resultWithResponseData(
    std::span<const std::uint8_t> data) {
    if (data.empty()) return std::nullopt;
    const auto reply = NSJSONSerialization::JSONObjectWithData(
        data, NSJSONReadingMutableContainers | NSJSONReadingFragmentsAllowed);
    if (!reply || !reply->is_object()) return std::nullopt;
    const auto status = reply->find("status");
    if (status == reply->end() || !status->is_string() || *status != "1") return std::nullopt;
    const auto result = reply->find("result");
    if (result == reply->end()) return std::nullopt;
    return *result;
}

void VMMapManifest::performManifestRequestWithType(unsigned type, CompletionBlock completionBlock,
                                                   double timeout) {
    if (!typeStringWithType(type)) {
        NSLog("VMMapManifestType error!");
        return;
    }
    if (!completionBlock) return;
    const auto url = manifestURLWithType(type);
    DispatchQueue::global()->async([url, block = std::move(completionBlock), timeout] {
        if (!url) {
            block(std::nullopt);
            return;
        }
        const auto request =
            NSMutableURLRequest::requestWithURL(url, NSURLRequestUseProtocolCachePolicy, timeout);
        request->setMaximumResponseLength(kMaxManifestLength);
        const auto body = sendBrandedSynchronousRequest(request, nullptr, nullptr);
        block(body ? resultWithResponseData(*body) : std::nullopt);
    });
}

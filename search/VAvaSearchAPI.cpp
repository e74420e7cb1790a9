#include "VAvaSearchAPI.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "Foundation/Dispatch.h"
#include "Foundation/NSJSONSerialization.h"
#include "Foundation/NSOperationQueue.h"
#include "Foundation/NSURLConnection.h"
#include "VAvaSearchServices.h"

namespace {

constexpr const char* kReGeocodePath = "api/Search/ReGeocode";
// A reverse-geocode answer is a few kilobytes; a longer reply is refused before it fills memory.
constexpr std::uint64_t kMaxReplyLength = 1 << 20;

// The search queue shared by every client, as the kit has one network manager.
const std::shared_ptr<NSOperationQueue>& searchQueue() {
    static const std::shared_ptr<NSOperationQueue> queue = [] {
        auto q = NSOperationQueue::create();
        q->setMaxConcurrentOperationCount(VAvaSearchAPI::kMaxConcurrentSearches);
        return q;
    }();
    return queue;
}

std::string percentEncoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xf];
        }
    }
    return out;
}

std::string degrees(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6f", value);
    return buffer;
}

std::string textOf(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

NSError searchError(long code, std::string description) {
    return NSError::make(VAvaSearchErrorDomain, code, std::move(description));
}

// The answer's mapping, or the error describing why it is not an answer.
std::shared_ptr<VAvaReGeocodeSearchResponse> reGeocodeResponseFromJSON(const nlohmann::json& reply,
                                                                       NSError* error) {
    auto fail = [error](long code, std::string description) {
        if (error) *error = searchError(code, std::move(description));
        return nullptr;
    };
    if (!reply.is_object()) return fail(VAvaSearchErrorBadResponse, "answer is not an object");
    if (textOf(reply, "code") != "1") {
        const std::string tip = textOf(reply, "tip");
        return fail(VAvaSearchErrorRefused, tip.empty() ? "search refused" : tip);
    }
    const auto geocode = reply.find("regeocode");
    if (geocode == reply.end() || !geocode->is_object())
        return fail(VAvaSearchErrorBadResponse, "answer without regeocode");
    auto response = VAvaReGeocodeSearchResponse::create();
    response->regeocode()->setFormattedAddress(textOf(*geocode, "formattedAddress"));
    if (const auto component = geocode->find("addressComponent");
        component != geocode->end() && component->is_object()) {
        const auto& parts = response->regeocode()->addressComponent();
        parts->setProvince(textOf(*component, "province"));
        parts->setCity(textOf(*component, "city"));
    }
    return response;
}

}  // namespace

void VAvaSearchAPI::VAvaReGoecodeSearch(
    const std::shared_ptr<VAvaReGeocodeSearchRequest>& request) {
    if (!request || !request->location()) return;
    if (std::find(inFlight_.begin(), inFlight_.end(), request) != inFlight_.end()) return;
    inFlight_.push_back(request);

    std::weak_ptr<VAvaSearchAPI> weak = sharedSelf<VAvaSearchAPI>();
    const auto services = VAvaSearchServices::sharedServices();
    auto url = NSURL::URLWithString(services->searchServer() + kReGeocodePath);
    if (!url) {
        // Still answered on a later turn, as every other outcome is.
        DispatchQueue::main()->async([weak, request] {
            if (auto self = weak.lock())
                self->finishReGeocode(request, nullptr,
                                      searchError(VAvaSearchErrorNetwork, "bad search server"));
        });
        return;
    }
    auto http = NSMutableURLRequest::requestWithURL(
        std::move(url), NSURLRequestReloadIgnoringLocalCacheData, timeout_);
    http->setHTTPMethod("POST");
    http->setMaximumResponseLength(kMaxReplyLength);
    http->setValue("application/x-www-form-urlencoded; charset=utf-8", "Content-Type");
    http->setHTTPBody("key=" + percentEncoded(services->apiKey()) +
                      "&latitude=" + degrees(request->location()->latitude()) +
                      "&longitude=" + degrees(request->location()->longitude()));

    std::shared_ptr<NSURLRequest> sent = http;
    searchQueue()->addOperationWithBlock([weak, request, sent] {
        std::shared_ptr<VAvaReGeocodeSearchResponse> response;
        NSErrorOpt error;
        const auto result = NSURLConnection::sendSynchronousRequest(sent);
        if (result.error) {
            error = searchError(VAvaSearchErrorNetwork, result.error->localizedDescription);
        } else {
            // A refusal comes with its reason in the body, whatever its status.
            const auto reply =
                NSJSONSerialization::JSONObjectWithData(std::span<const std::uint8_t>(result.data));
            NSError mapped;
            response = reGeocodeResponseFromJSON(reply.value_or(nlohmann::json()), &mapped);
            if (!response) error = mapped;
        }
        DispatchQueue::main()->async([weak, request, response, error] {
            if (auto self = weak.lock()) self->finishReGeocode(request, response, error);
        });
    });
}

void VAvaSearchAPI::finishReGeocode(const std::shared_ptr<VAvaReGeocodeSearchRequest>& request,
                                    const std::shared_ptr<VAvaReGeocodeSearchResponse>& response,
                                    const NSErrorOpt& error) {
    std::erase(inFlight_, request);
    const auto d = delegate();
    if (!d) return;
    if (response)
        d->onReGeocodeSearchDone(request, response);
    else
        d->VAvaSearchRequestDidFailWithError(
            request, error.value_or(searchError(VAvaSearchErrorBadResponse, "")));
}

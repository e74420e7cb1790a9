#include "VMMapURLSearch.h"

#include "Foundation/NSBundle.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSURLUtilities.h"
#include "UIKit/UIApplication.h"

namespace {

std::string mapApplicationURL(const std::string& pathAndQuery) {
    return std::string(VMMapURLSearch::kMapApplicationScheme) + "://" + pathAndQuery;
}

bool open(const std::string& url) {
    if (!VMMapURLSearch::canOpenVAVAScheme()) return false;
    return UIApplication::sharedApplication()->openURL(url);
}

std::string source(const VMMapURLConfig& config) {
    return "sourceApplication=" + VMMapURLSearch::encodedStringWithValue(config.appName()) +
           "&backScheme=" + VMMapURLSearch::encodedStringWithValue(config.appScheme());
}

std::string infoString(const nlohmann::json& value) {
    return value.is_string() ? value.get<std::string>() : "";
}

}  // namespace

std::string VMNaviConfig::description() const {
    return NSStringWithFormat("destination: (%f, %f), strategy: %ld", destination_.latitude,
                              destination_.longitude, strategy_);
}

std::string VMRouteConfig::description() const {
    return NSStringWithFormat(
        "startCoordinate: (%f, %f), destinationCoordinate: (%f, %f), drivingStrategy: %ld, "
        "transitStrategy: %ld, routeType: %ld",
        startCoordinate_.latitude, startCoordinate_.longitude, destinationCoordinate_.latitude,
        destinationCoordinate_.longitude, drivingStrategy_, transitStrategy_, routeType_);
}

std::string VMPOIConfig::description() const {
    return NSStringWithFormat("keywords: %s, leftTop: (%f, %f), rightBottom: (%f, %f)",
                              keywords_.c_str(), leftTopCoordinate_.latitude,
                              leftTopCoordinate_.longitude, rightBottomCoordinate_.latitude,
                              rightBottomCoordinate_.longitude);
}

bool VMMapURLSearch::openVAvaNavigation(const VMNaviConfig& config) {
    const auto d = config.destination();
    return open(mapApplicationURL(
        NSStringWithFormat("navi?%s&poiname=&poiid=&lat=%f&lon=%f&dev=0&style=%ld",
                           source(config).c_str(), d.latitude, d.longitude, config.strategy())));
}

bool VMMapURLSearch::openVAvaRouteSearch(const VMRouteConfig& config) {
    long mode = 0;
    if (config.routeType() == 0) mode = config.drivingStrategy();
    if (config.routeType() == 1) mode = config.transitStrategy();
    const auto s = config.startCoordinate();
    const auto d = config.destinationCoordinate();
    return open(mapApplicationURL(NSStringWithFormat(
        "path?%s&sid=&slat=%f&slon=%f&sname=&did=&dlat=%f&dlon=%f&dname=&m=%ld&t=%ld&dev=0",
        source(config).c_str(), s.latitude, s.longitude, d.latitude, d.longitude, mode,
        config.routeType())));
}

bool VMMapURLSearch::openVAvaPOISearch(const VMPOIConfig& config) {
    const auto a = config.leftTopCoordinate();
    const auto b = config.rightBottomCoordinate();
    return open(mapApplicationURL(NSStringWithFormat(
        "poi?%s&name=%s&lat1=%f&lon1=%f&lat2=%f&lon2=%f&dev=0", source(config).c_str(),
        encodedStringWithValue(config.keywords()).c_str(), a.latitude, a.longitude, b.latitude,
        b.longitude)));
}

bool VMMapURLSearch::canOpenVAVAScheme() {
    return UIApplication::sharedApplication()->canOpenURL(mapApplicationURL(""));
}

void VMMapURLSearch::getLatestVAvaApp() {
    UIApplication::sharedApplication()->openURL(kMapApplicationStoreURL);
}

std::string VMMapURLSearch::applicationName() {
    const auto bundle = NSBundle::mainBundle();
    const std::string displayName =
        infoString(bundle->objectForInfoDictionaryKey("CFBundleDisplayName"));
    if (!displayName.empty()) return displayName;
    return infoString(bundle->objectForInfoDictionaryKey("CFBundleName"));
}

std::optional<std::string> VMMapURLSearch::applicationScheme() {
    const auto bundle = NSBundle::mainBundle();
    const auto types = bundle->objectForInfoDictionaryKey("CFBundleURLTypes");
    if (!types.is_array()) return std::nullopt;
    const std::string identifier = bundle->bundleIdentifier();
    for (const auto& type : types) {
        if (!type.is_object() ||
            infoString(type.value("CFBundleURLName", nlohmann::json())) != identifier)
            continue;
        const auto schemes = type.find("CFBundleURLSchemes");
        if (schemes == type.end() || !schemes->is_array() || schemes->empty() ||
            !schemes->front().is_string())
            return std::nullopt;
        return schemes->front().get<std::string>();
    }
    return std::nullopt;
}

std::string VMMapURLSearch::encodedStringWithValue(const std::string& value) {
    static const NSCharacterSet allowed = NSCharacterSet::characterSetWithCharactersInString(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._");
    return stringByAddingPercentEncodingWithAllowedCharacters(value, allowed);
}

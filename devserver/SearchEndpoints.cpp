#include "SearchEndpoints.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace devserver {

namespace {

struct GeocodedPlace {
    double latitude;
    double longitude;
    const char* province;
    const char* city;  // empty where the province is itself a city
    const char* formattedAddress;
};

constexpr GeocodedPlace kGeocodedPlaces[] = {
    {39.90872, 116.39750, "北京市", "", "北京市东城区东长安街"},
    {31.23041, 121.47370, "上海市", "", "上海市黄浦区人民大道"},
    {23.12911, 113.26436, "广东省", "广州市", "广东省广州市越秀区府前路"},
    {22.54286, 114.05956, "广东省", "深圳市", "广东省深圳市福田区福中三路"},
    {30.27415, 120.15515, "浙江省", "杭州市", "浙江省杭州市西湖区延安路"},
    {30.65984, 104.06574, "四川省", "成都市", "四川省成都市青羊区人民南路"},
    {30.59276, 114.30525, "湖北省", "武汉市", "湖北省武汉市江岸区沿江大道"},
    {34.34127, 108.93984, "陕西省", "西安市", "陕西省西安市莲湖区西大街"},
};

std::optional<double> degrees(const FormBody& form, const char* key, double limit) {
    const std::string& text = form.required(key);
    double value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() ||
        !std::isfinite(value) || std::fabs(value) > limit)
        return std::nullopt;
    return value;
}

double distanceKm(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kEarthRadiusKm = 6371.0;
    constexpr double kRadians = 3.14159265358979323846 / 180.0;
    const double dLat = (lat2 - lat1) * kRadians;
    const double dLon = (lon2 - lon1) * kRadians;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * kRadians) * std::cos(lat2 * kRadians) * std::sin(dLon / 2) *
                         std::sin(dLon / 2);
    return 2 * kEarthRadiusKm * std::asin(std::sqrt(std::fmin(1.0, a)));
}

nlohmann::json reGeocode(const ApiRequest& request) {
    if (request.form.optional("key").value_or("") != kSearchApiKey) throw BadRequest{"key无效"};
    const auto latitude = degrees(request.form, "latitude", 90);
    const auto longitude = degrees(request.form, "longitude", 180);
    if (!latitude || !longitude) throw BadRequest{"坐标无效"};
    const GeocodedPlace* nearest = nullptr;
    double best = std::numeric_limits<double>::infinity();
    for (const GeocodedPlace& place : kGeocodedPlaces) {
        const double d = distanceKm(*latitude, *longitude, place.latitude, place.longitude);
        if (d < best) {
            best = d;
            nearest = &place;
        }
    }
    if (nearest == nullptr || best > kSearchRadiusKm) throw BadRequest{"该位置附近没有可用地址"};
    auto reply = actionReply(true, "");
    reply["regeocode"] = {
        {"formattedAddress", nearest->formattedAddress},
        {"addressComponent", {{"province", nearest->province}, {"city", nearest->city}}}};
    return reply;
}

}  // namespace

void registerSearchEndpoints(ApiRouter& router) { router.add("Search/ReGeocode", reGeocode); }

}  // namespace devserver

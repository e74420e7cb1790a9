#pragma once

#include <memory>
#include <string>

#include "Foundation/NSObject.h"

// The search client's requests, responses and results.
class VAvaSearchObject : public NSObject {};

class VAvaGeoPoint : public VAvaSearchObject {
  public:
    static std::shared_ptr<VAvaGeoPoint> locationWithLatitude(double latitude, double longitude) {
        auto point = std::shared_ptr<VAvaGeoPoint>(new VAvaGeoPoint());
        point->latitude_ = latitude;
        point->longitude_ = longitude;
        return point;
    }
    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }

  private:
    VAvaGeoPoint() = default;
    double latitude_ = 0;
    double longitude_ = 0;
};

class VAvaSearchRequest : public VAvaSearchObject {};

class VAvaReGeocodeSearchRequest : public VAvaSearchRequest {
  public:
    static std::shared_ptr<VAvaReGeocodeSearchRequest> create() {
        return std::shared_ptr<VAvaReGeocodeSearchRequest>(new VAvaReGeocodeSearchRequest());
    }
    // The point to look up; a request without one is refused by the client.
    const std::shared_ptr<VAvaGeoPoint>& location() const { return location_; }
    void setLocation(std::shared_ptr<VAvaGeoPoint> location) { location_ = std::move(location); }

  private:
    VAvaReGeocodeSearchRequest() = default;
    std::shared_ptr<VAvaGeoPoint> location_;
};

// Texts as the server answered them; a part it left out is empty.
class VAvaAddressComponent : public VAvaSearchObject {
  public:
    static std::shared_ptr<VAvaAddressComponent> create() {
        return std::shared_ptr<VAvaAddressComponent>(new VAvaAddressComponent());
    }
    const std::string& province() const { return province_; }
    void setProvince(std::string p) { province_ = std::move(p); }
    const std::string& city() const { return city_; }
    void setCity(std::string c) { city_ = std::move(c); }

  private:
    VAvaAddressComponent() = default;
    std::string province_;
    std::string city_;
};

class VAvaReGeocode : public VAvaSearchObject {
  public:
    static std::shared_ptr<VAvaReGeocode> create() {
        return std::shared_ptr<VAvaReGeocode>(new VAvaReGeocode());
    }
    const std::string& formattedAddress() const { return formattedAddress_; }
    void setFormattedAddress(std::string a) { formattedAddress_ = std::move(a); }
    const std::shared_ptr<VAvaAddressComponent>& addressComponent() const { return component_; }
    void setAddressComponent(std::shared_ptr<VAvaAddressComponent> c) { component_ = std::move(c); }

  private:
    VAvaReGeocode() : component_(VAvaAddressComponent::create()) {}
    std::string formattedAddress_;
    std::shared_ptr<VAvaAddressComponent> component_;
};

class VAvaReGeocodeSearchResponse : public VAvaSearchObject {
  public:
    static std::shared_ptr<VAvaReGeocodeSearchResponse> create() {
        return std::shared_ptr<VAvaReGeocodeSearchResponse>(new VAvaReGeocodeSearchResponse());
    }
    const std::shared_ptr<VAvaReGeocode>& regeocode() const { return regeocode_; }
    void setRegeocode(std::shared_ptr<VAvaReGeocode> r) { regeocode_ = std::move(r); }

  private:
    VAvaReGeocodeSearchResponse() : regeocode_(VAvaReGeocode::create()) {}
    std::shared_ptr<VAvaReGeocode> regeocode_;
};

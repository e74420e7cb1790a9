// The map view's answers to the renderer's events and its display options.

#include <algorithm>
#include <cmath>
#include <limits>

#include "Foundation/Dispatch.h"
#include "UIKit/UIScreen.h"
#include "VMGeometry.h"
#include "VMInternalTexture.h"
#include "VMMapView.h"

namespace {

constexpr int kParameterLabels = 1024;
constexpr int kParameterBuildings = 1021;
constexpr int kParameterReal3D = 1022;
constexpr int kParameterTrafficColorsOn = 2201;
constexpr int kParameterTrafficColors = 2202;
constexpr double kTouchRadius = 40.0;

uint32_t argb(const UIColorRef& color) {
    const CGColor c = CGColorOf(color);
    auto byte = [](double v) {
        return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
    };
    return byte(c.a) << 24 | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

void setParameter(const std::shared_ptr<VURI1Vovure>& render, int id,
                  std::initializer_list<uint32_t> values) {
    if (!render || !render->mapEngine()) return;
    uint32_t block[36] = {};
    std::copy(values.begin(), values.end(), block);
    mapEngineSetParameter(render->mapEngine(), id, block);
}

bool fitsInt32(double v) {
    return std::isfinite(v) && v >= std::numeric_limits<int32_t>::min() &&
           v <= std::numeric_limits<int32_t>::max();
}

// UTF-16 to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string utf8(const uint16_t* units, size_t count) {
    std::string out;
    const auto put = [&out](uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            put(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            put(0xFFFD);
        } else {
            put(u);
        }
    }
    return out;
}

}  // namespace

// ---- Loading reports ----

void VMMapView::reportLoading(std::function<void(VMMapViewDelegate&, VMMapView&)> send) {
    if (!delegate()) return;
    // The block asks again when it runs: the view or its delegate may have gone meanwhile.
    DispatchQueue::main()->async([weakView = weakSelf_, send = std::move(send)] {
        const auto view = weakView.lock();
        if (!view) return;
        if (const auto d = view->delegate()) send(*d, *view);
    });
}

void VMMapView::willStartLoading() {
    reportLoading([](VMMapViewDelegate& d, VMMapView& v) { d.mapViewWillStartLoadingMap(v); });
}

void VMMapView::didFinishLoadingWithDataSize(uint32_t bytes) {
    reportLoading(
        [bytes](VMMapViewDelegate& d, VMMapView& v) { d.mapViewDidFinishLoadingMap(v, bytes); });
}

void VMMapView::didFailLoadingWithError(const NSError& error) {
    reportLoading(
        [error](VMMapViewDelegate& d, VMMapView& v) { d.mapViewDidFailLoadingMap(v, error); });
}

// ---- Display options ----

void VMMapView::setMapType(long type, bool forced) {
    if (type < 0 || type > 2 || (type == mapType_ && !forced)) return;
    mapType_ = type;
    const auto r = render();
    VMInternalTexture::updateInternalTextureWithArgument(
        {r ? r->mapEngine() : nullptr, type == 2 ? 1 : 0, type == 1 ? 1 : 0, 0, false});
    if (scaleView_) scaleView_->setUseRegularStyle(type == 0);
}

void VMMapView::setShowTraffic(bool show) {
    showTraffic_ = show;
    setParameter(render(), kMapParameterTraffic, {show ? 1u : 0u});
}

void VMMapView::setShowsLabels(bool show) {
    const auto r = render();
    if (!r || !r->mapEngine()) return;
    showsLabels_ = show;
    setParameter(r, kParameterLabels, {show ? 1u : 0u});
}

void VMMapView::setReal3DModelsDisabled(bool disabled) {
    real3DModelsDisabled_ = disabled;
    setParameter(render(), kParameterReal3D, {disabled ? 0u : 1u});
}

void VMMapView::setBuildingsDisabled(bool disabled) {
    buildingsDisabled_ = disabled;
    setParameter(render(), kParameterBuildings, {disabled ? 0u : 1u});
}

void VMMapView::setSkyModelEnable(bool enabled) {
    skyModelEnable_ = enabled;
    if (baseMapView_) baseMapView_->setSkyModelEnabled(enabled);
}

void VMMapView::setUnimpededColor(UIColorRef unimpeded, UIColorRef amble, UIColorRef jam,
                                  UIColorRef gridlocked) {
    trafficColorWrapper_->unimpeded = std::move(unimpeded);
    trafficColorWrapper_->amble = std::move(amble);
    trafficColorWrapper_->jam = std::move(jam);
    trafficColorWrapper_->gridlocked = std::move(gridlocked);
    applyTrafficColor(trafficColorWrapper_);
}

void VMMapView::applyTrafficColor(const std::shared_ptr<VMTrafficColorWrapper>& colors) {
    if (!colors) return;
    const auto r = render();
    setParameter(r, kParameterTrafficColorsOn, {1, 0, 0, 0});
    setParameter(r, kParameterTrafficColors,
                 {argb(colors->unimpeded), argb(colors->amble), argb(colors->jam),
                  argb(colors->gridlocked)});
}

// ---- Points of interest ----

void VMMapView::setTouchPOIEnabled(bool enabled) {
    if (!enabled) selectPoisAtEnginePoint({0, 0}, 1.0);
    touchPOIEnabled_ = enabled;
}

std::vector<std::shared_ptr<VMTouchPoi>> VMMapView::takePoisAtPoint(CGPoint point) {
    const CGFloat scale = UIScreen::mainScreen()->scale();
    return selectPoisAtEnginePoint({point.x * scale, point.y * scale}, kTouchRadius);
}

std::vector<std::shared_ptr<VMTouchPoi>> VMMapView::selectPoisAtEnginePoint(CGPoint point,
                                                                            double radius) {
    const auto r = render();
    if (!(radius >= 1.0) || !r || !r->mapEngine()) return {};
    if (!fitsInt32(point.x) || !fitsInt32(point.y) || !fitsInt32(radius)) return {};
    int count = 0;
    PoiHitRecord* records =
        mapEngineSelectPois(r->mapEngine(), static_cast<int32_t>(point.x),
                            static_cast<int32_t>(point.y), static_cast<int32_t>(radius), &count);
    const std::unique_ptr<PoiHitRecord, decltype(&std::free)> owned(records, &std::free);
    std::vector<std::shared_ptr<VMTouchPoi>> pois;
    for (int i = 0; records != nullptr && i < count; ++i) {
        const PoiHitRecord& hit = records[i];
        pois.push_back(VMTouchPoi::poiWithName(
            utf8(hit.name, hit.nameLength),
            coordinateForMapPoint({static_cast<double>(hit.x), static_cast<double>(hit.y)})));
    }
    return pois;
}

#include "CLLocationManager.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"

namespace {

std::mutex gSourceMutex;
std::shared_ptr<CLLocationSource> gSource;

// Index of the last entry due at t (the one a starting manager reports first), or of the first
// entry when none is due yet.
template <class Entry>
size_t firstToReport(const std::vector<Entry>& entries, CFTimeInterval t) {
    const auto due = std::upper_bound(entries.begin(), entries.end(), t,
                                      [](CFTimeInterval v, const Entry& e) { return v < e.at; });
    return due == entries.begin() ? 0 : static_cast<size_t>(due - entries.begin()) - 1;
}

double turn(double from, double to) {
    const double d = std::fmod(std::abs(to - from), 360.0);
    return std::min(d, 360.0 - d);
}

}  // namespace

std::shared_ptr<CLLocationManager> CLLocationManager::create() {
    return std::shared_ptr<CLLocationManager>(new CLLocationManager());
}

CLLocationManager::~CLLocationManager() {
    if (fixTimer_) fixTimer_->invalidate();
    if (headingTimer_) headingTimer_->invalidate();
}

void CLLocationManager::setSource(std::shared_ptr<CLLocationSource> source) {
    if (source) source->setStartTime(Clock::now());
    std::lock_guard lock(gSourceMutex);
    gSource = std::move(source);
}

std::shared_ptr<CLLocationSource> CLLocationManager::source() {
    std::lock_guard lock(gSourceMutex);
    return gSource;
}

bool CLLocationManager::headingAvailable() {
    auto s = source();
    return s && !s->headings().empty();
}

void CLLocationManager::startUpdatingLocation() {
    if (updatingLocation_) return;
    updatingLocation_ = true;
    auto src = source();
    std::weak_ptr<CLLocationManager> weak = sharedSelf<CLLocationManager>();
    if (!src || src->fixes().empty()) {
        // Stays updating like a device without a fix; the failure is reported once.
        fixTimer_ = NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
            auto self = weak.lock();
            if (!self) return;
            if (auto d = self->delegate())
                d->locationManagerDidFailWithError(
                    *self, NSError::make(kCLErrorDomain, kCLErrorLocationUnknown,
                                         "The location source has no fixes."));
        });
        return;
    }
    playing_ = src;
    scheduleFix(firstToReport(src->fixes(), Clock::now() - src->startTime()));
}

void CLLocationManager::stopUpdatingLocation() {
    updatingLocation_ = false;
    if (!fixTimer_) return;
    fixTimer_->invalidate();
    fixTimer_.reset();
}

void CLLocationManager::startUpdatingHeading() {
    if (updatingHeading_) return;
    updatingHeading_ = true;
    auto src = source();
    if (!src || src->headings().empty()) return;
    playing_ = src;
    scheduleHeading(firstToReport(src->headings(), Clock::now() - src->startTime()));
}

void CLLocationManager::stopUpdatingHeading() {
    updatingHeading_ = false;
    if (!headingTimer_) return;
    headingTimer_->invalidate();
    headingTimer_.reset();
}

void CLLocationManager::scheduleFix(size_t index) {
    const auto& fix = playing_->fixes()[index];
    const double delay = std::max(0.0, playing_->startTime() + fix.at - Clock::now());
    std::weak_ptr<CLLocationManager> weak = sharedSelf<CLLocationManager>();
    fixTimer_ = NSRunLoop::mainRunLoop()->performAfterDelay(delay, [weak, index] {
        if (auto self = weak.lock()) self->deliverFix(index);
    });
}

void CLLocationManager::scheduleHeading(size_t index) {
    const auto& heading = playing_->headings()[index];
    const double delay = std::max(0.0, playing_->startTime() + heading.at - Clock::now());
    std::weak_ptr<CLLocationManager> weak = sharedSelf<CLLocationManager>();
    headingTimer_ = NSRunLoop::mainRunLoop()->performAfterDelay(delay, [weak, index] {
        if (auto self = weak.lock()) self->deliverHeading(index);
    });
}

void CLLocationManager::deliverFix(size_t index) {
    auto keep = sharedSelf<CLLocationManager>();
    auto src = playing_;
    const auto& fix = src->fixes()[index];
    // The next one is due whatever the delegate does.
    fixTimer_.reset();
    if (index + 1 < src->fixes().size()) scheduleFix(index + 1);
    auto location = CLLocation::create({.coordinate = fix.coordinate,
                                        .altitude = fix.altitude,
                                        .horizontalAccuracy = fix.horizontalAccuracy,
                                        .timestamp = std::chrono::system_clock::now()});
    if (location_ && distanceFilter_ > 0 &&
        location->distanceFromLocation(*location_) < distanceFilter_) {
        return;
    }
    auto old = std::exchange(location_, location);
    if (auto d = delegate()) d->locationManagerDidUpdateToLocation(*this, location, old);
}

void CLLocationManager::deliverHeading(size_t index) {
    auto keep = sharedSelf<CLLocationManager>();
    auto src = playing_;
    const auto& entry = src->headings()[index];
    headingTimer_.reset();
    if (index + 1 < src->headings().size()) scheduleHeading(index + 1);
    if (heading_ && headingFilter_ > 0 &&
        turn(heading_->trueHeading(), entry.trueHeading) < headingFilter_) {
        return;
    }
    heading_ = CLHeading::create({.magneticHeading = entry.magneticHeading,
                                  .trueHeading = entry.trueHeading,
                                  .headingAccuracy = entry.headingAccuracy,
                                  .timestamp = std::chrono::system_clock::now()});
    if (auto d = delegate()) d->locationManagerDidUpdateHeading(*this, heading_);
}

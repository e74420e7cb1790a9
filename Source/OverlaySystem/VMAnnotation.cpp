#include <algorithm>

#include "VMOverlay.h"

void VMAnnotation::addObserver(const std::shared_ptr<VMAnnotationObserver>& observer) {
    if (!observer) return;
    removeObserver(observer.get());
    observers_.push_back(observer);
}

void VMAnnotation::removeObserver(const VMAnnotationObserver* observer) {
    std::erase_if(observers_, [&](const auto& o) {
        const auto held = o.lock();
        return !held || held.get() == observer;
    });
}

void VMAnnotation::didChange(std::string_view keyPath) {
    // An observer may let go of this annotation while it is told.
    const auto observers = observers_;
    for (const auto& o : observers) {
        if (auto held = o.lock()) held->annotationDidChange(*this, keyPath);
    }
}

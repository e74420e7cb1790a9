#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CoreLocation/CLLocationCoordinate2D.h"
#include "VMGeometry.h"

class VMAnnotation;

// Told on the main thread when a property of an annotation it watches changes: "coordinate",
// "title" or "subtitle".
class VMAnnotationObserver {
  public:
    virtual ~VMAnnotationObserver() = default;
    virtual void annotationDidChange(VMAnnotation& annotation, std::string_view keyPath) = 0;
};

// What the map asks of anything placed on it; title and subtitle are optional, and so is a
// settable coordinate, which only annotations that may be dragged offer.
class VMAnnotation {
  public:
    virtual ~VMAnnotation() = default;
    virtual CLLocationCoordinate2D coordinate() const = 0;
    virtual std::string title() const { return {}; }
    virtual std::string subtitle() const { return {}; }
    virtual bool respondsToSetCoordinate() const { return false; }
    virtual void setCoordinate(CLLocationCoordinate2D) {}

    // Observers are held weakly, each once; one that goes away is forgotten.
    void addObserver(const std::shared_ptr<VMAnnotationObserver>& observer);
    void removeObserver(const VMAnnotationObserver* observer);

  protected:
    void didChange(std::string_view keyPath);

  private:
    std::vector<std::weak_ptr<VMAnnotationObserver>> observers_;
};

using VMAnnotationRef = std::shared_ptr<VMAnnotation>;

// An annotation that covers an area, drawn by an overlay view.
class VMOverlay : public virtual VMAnnotation {
  public:
    virtual VMMapRect boundingMapRect() const = 0;
};

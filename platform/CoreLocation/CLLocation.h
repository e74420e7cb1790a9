#pragma once

#include <memory>

#include "CoreLocation/CLLocationCoordinate2D.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSObject.h"

using CLLocationDistance = double;
using CLLocationAccuracy = double;
using CLLocationDirection = double;
using CLLocationSpeed = double;

// A position fix. Negative accuracies, course or speed mean "not known", as the platform has it.
class CLLocation : public NSObject {
  public:
    struct Values {
        CLLocationCoordinate2D coordinate;
        CLLocationDistance altitude = 0;
        CLLocationAccuracy horizontalAccuracy = 0;
        CLLocationAccuracy verticalAccuracy = -1;
        CLLocationDirection course = -1;
        CLLocationSpeed speed = -1;
        NSDate timestamp;
    };

    static std::shared_ptr<CLLocation> create(Values values);
    static std::shared_ptr<CLLocation> create(CLLocationCoordinate2D coordinate);

    CLLocationCoordinate2D coordinate() const { return v_.coordinate; }
    CLLocationDistance altitude() const { return v_.altitude; }
    CLLocationAccuracy horizontalAccuracy() const { return v_.horizontalAccuracy; }
    CLLocationAccuracy verticalAccuracy() const { return v_.verticalAccuracy; }
    CLLocationDirection course() const { return v_.course; }
    CLLocationSpeed speed() const { return v_.speed; }
    NSDate timestamp() const { return v_.timestamp; }
    const Values& values() const { return v_; }

    // Great-circle distance in metres.
    CLLocationDistance distanceFromLocation(const CLLocation& other) const;

  private:
    explicit CLLocation(Values values) : v_(values) {}
    Values v_;
};

// A compass reading; degrees clockwise from north, a negative accuracy meaning invalid.
class CLHeading : public NSObject {
  public:
    struct Values {
        CLLocationDirection magneticHeading = 0;
        CLLocationDirection trueHeading = 0;
        CLLocationDirection headingAccuracy = 0;
        NSDate timestamp;
    };

    static std::shared_ptr<CLHeading> create(Values values);

    CLLocationDirection magneticHeading() const { return v_.magneticHeading; }
    CLLocationDirection trueHeading() const { return v_.trueHeading; }
    CLLocationDirection headingAccuracy() const { return v_.headingAccuracy; }
    NSDate timestamp() const { return v_.timestamp; }

  private:
    explicit CLHeading(Values values) : v_(values) {}
    Values v_;
};

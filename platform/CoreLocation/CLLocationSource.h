#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CoreLocation/CLLocation.h"
#include "Foundation/Clock.h"

// Where the location managers take positions and headings from: a timeline of fixes and
// headings on the run loops' clock, counted from the moment the source is installed (see
// README.md for the file format). A fixed coordinate is a timeline of one fix at 0.
class CLLocationSource {
  public:
    struct Fix {
        CFTimeInterval at = 0;  // seconds after the start
        CLLocationCoordinate2D coordinate;
        CLLocationAccuracy horizontalAccuracy = 10;
        CLLocationDistance altitude = 0;
    };
    struct Heading {
        CFTimeInterval at = 0;
        CLLocationDirection trueHeading = 0;
        CLLocationDirection magneticHeading = 0;
        CLLocationDirection headingAccuracy = 5;
    };

    static std::shared_ptr<CLLocationSource> fixed(CLLocationCoordinate2D coordinate);
    // Null with a message naming the line when the text is not a valid location file.
    static std::shared_ptr<CLLocationSource> parse(std::string_view text, std::string* error);
    static std::shared_ptr<CLLocationSource> fromFile(const std::string& path, std::string* error);
    // "LAT,LON" gives a fixed coordinate, anything else is read as a location file.
    static std::shared_ptr<CLLocationSource> fromArgument(const std::string& argument,
                                                          std::string* error);

    const std::vector<Fix>& fixes() const { return fixes_; }
    const std::vector<Heading>& headings() const { return headings_; }

    // The clock time the timeline counts from; set when the source is installed.
    CFTimeInterval startTime() const { return start_; }
    void setStartTime(CFTimeInterval start) { start_ = start; }

  private:
    std::vector<Fix> fixes_;
    std::vector<Heading> headings_;
    CFTimeInterval start_ = 0;
};

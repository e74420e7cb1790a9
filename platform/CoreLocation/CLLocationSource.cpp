#include "CLLocationSource.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

bool parseNumber(std::string_view word, double& out) {
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, out);
    return ec == std::errc() && ptr == end && std::isfinite(out);
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\r'))
            ++pos;
        size_t end = pos;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
            ++end;
        if (end > pos) out.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

bool validDirection(double degrees) { return degrees >= 0 && degrees < 360; }

}  // namespace

std::shared_ptr<CLLocationSource> CLLocationSource::fixed(CLLocationCoordinate2D coordinate) {
    auto source = std::make_shared<CLLocationSource>();
    source->fixes_.push_back({.at = 0, .coordinate = coordinate});
    return source;
}

std::shared_ptr<CLLocationSource> CLLocationSource::parse(std::string_view text,
                                                          std::string* error) {
    auto source = std::make_shared<CLLocationSource>();
    auto fail = [error](int line, const std::string& why) {
        if (error) *error = "line " + std::to_string(line) + ": " + why;
        return nullptr;
    };
    double last = 0;
    int lineNumber = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t nl = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNumber;
        const auto w = words(line.substr(0, std::min(line.find('#'), line.size())));
        if (w.empty()) continue;
        double at = 0;
        if (!parseNumber(w[0], at) || at < 0) return fail(lineNumber, "bad time");
        if (at < last) return fail(lineNumber, "time goes backwards");
        last = at;
        std::vector<double> n(w.size() - std::min<size_t>(w.size(), 2));
        for (size_t i = 2; i < w.size(); ++i) {
            if (!parseNumber(w[i], n[i - 2])) return fail(lineNumber, "bad number");
        }
        if (w.size() >= 2 && w[1] == "fix") {
            if (n.size() < 2 || n.size() > 4) return fail(lineNumber, "fix takes 2 to 4 numbers");
            Fix fix{.at = at, .coordinate = {n[0], n[1]}};
            if (!CLLocationCoordinate2DIsValid(fix.coordinate))
                return fail(lineNumber, "coordinate out of range");
            if (n.size() > 2) {
                if (n[2] < 0) return fail(lineNumber, "negative accuracy");
                fix.horizontalAccuracy = n[2];
            }
            if (n.size() > 3) fix.altitude = n[3];
            source->fixes_.push_back(fix);
        } else if (w.size() >= 2 && w[1] == "heading") {
            if (n.empty() || n.size() > 3) return fail(lineNumber, "heading takes 1 to 3 numbers");
            Heading heading{.at = at, .trueHeading = n[0], .magneticHeading = n[0]};
            if (n.size() > 1) heading.magneticHeading = n[1];
            if (n.size() > 2) heading.headingAccuracy = n[2];
            if (!validDirection(heading.trueHeading) || !validDirection(heading.magneticHeading))
                return fail(lineNumber, "heading out of range");
            source->headings_.push_back(heading);
        } else {
            return fail(lineNumber, "expected \"fix\" or \"heading\"");
        }
    }
    if (source->fixes_.empty() && source->headings_.empty()) {
        if (error) *error = "no fixes or headings";
        return nullptr;
    }
    return source;
}

std::shared_ptr<CLLocationSource> CLLocationSource::fromFile(const std::string& path,
                                                             std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return nullptr;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    auto source = parse(text.str(), &why);
    if (!source && error) *error = path + ": " + why;
    return source;
}

std::shared_ptr<CLLocationSource> CLLocationSource::fromArgument(const std::string& argument,
                                                                 std::string* error) {
    const size_t comma = argument.find(',');
    CLLocationCoordinate2D c;
    if (comma != std::string::npos &&
        parseNumber(std::string_view(argument).substr(0, comma), c.latitude) &&
        parseNumber(std::string_view(argument).substr(comma + 1), c.longitude)) {
        if (!CLLocationCoordinate2DIsValid(c)) {
            if (error) *error = "coordinate out of range: " + argument;
            return nullptr;
        }
        return fixed(c);
    }
    return fromFile(argument, error);
}

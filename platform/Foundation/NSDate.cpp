#include "NSDate.h"

#include <cmath>
#include <ctime>
#include <limits>

NSTimeInterval NSDateTimeIntervalSince1970(NSDate date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

NSDate NSDateWithTimeIntervalSince1970(NSTimeInterval seconds) {
    using Ticks = std::chrono::duration<double, NSDate::period>;
    const double ticks =
        std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(seconds)).count();
    if (std::isnan(ticks)) return NSDate{};
    // The upper bound rounds up to a power of two that the tick count cannot hold: strict.
    constexpr auto kMost = std::numeric_limits<NSDate::rep>::max();
    constexpr auto kLeast = std::numeric_limits<NSDate::rep>::min();
    if (ticks >= static_cast<double>(kMost)) return NSDate::max();
    if (ticks < static_cast<double>(kLeast)) return NSDate::min();
    return NSDate(NSDate::duration(static_cast<NSDate::rep>(ticks)));
}

NSTimeInterval NSDateNowSince1970() {
    return NSDateTimeIntervalSince1970(std::chrono::system_clock::now());
}

std::string NSDateLocalString(NSDate date) {
    // Whole seconds taken from the tick count itself: every date's fits a time_t.
    const std::time_t seconds = static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count());
    std::tm local{};
    char text[32];
    if (localtime_r(&seconds, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0)
        return std::to_string(seconds);
    return text;
}

namespace {
// Reads exactly `width` digits at `pos`.
bool readDigits(std::string_view text, size_t pos, size_t width, int& out) {
    if (pos + width > text.size()) return false;
    out = 0;
    for (size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}
}  // namespace

std::optional<NSDate> NSDateFromLocalString(std::string_view text) {
    // yyyy-MM-dd HH:mm:ss
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    int year, month, day, hour, minute, second;
    if (!readDigits(text, 0, 4, year) || !readDigits(text, 5, 2, month) ||
        !readDigits(text, 8, 2, day) || !readDigits(text, 11, 2, hour) ||
        !readDigits(text, 14, 2, minute) || !readDigits(text, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const auto ymd = std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)} /
                     std::chrono::day{static_cast<unsigned>(day)};
    if (!ymd.ok()) return std::nullopt;

    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
    return std::chrono::system_clock::from_time_t(seconds);
}

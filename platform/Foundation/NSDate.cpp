#include "NSDate.h"

#include <cmath>
#include <ctime>

NSTimeInterval NSDateTimeIntervalSince1970(NSDate date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

NSDate NSDateWithTimeIntervalSince1970(NSTimeInterval seconds) {
    return NSDate(
        std::chrono::duration_cast<NSDate::duration>(std::chrono::duration<double>(seconds)));
}

NSTimeInterval NSDateNowSince1970() {
    return NSDateTimeIntervalSince1970(std::chrono::system_clock::now());
}

std::string NSDateLocalString(NSDate date) {
    const std::time_t seconds =
        static_cast<std::time_t>(std::floor(NSDateTimeIntervalSince1970(date)));
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
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

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "Clock.h"

// A point in wall-clock time.
using NSDate = std::chrono::system_clock::time_point;

NSTimeInterval NSDateTimeIntervalSince1970(NSDate date);
// Seconds past either end of the dates that NSDate can hold (a few centuries around 1970) give
// that end, as distant past and future do; NaN, which is no time at all, gives 1970 itself.
NSDate NSDateWithTimeIntervalSince1970(NSTimeInterval seconds);
// Now, as seconds since 1970 (wall clock, not the run loops' Clock).
NSTimeInterval NSDateNowSince1970();

// "yyyy-MM-dd HH:mm:ss" in the local time zone, and back. Parsing is strict: exactly that shape
// with valid field ranges, else nullopt.
std::string NSDateLocalString(NSDate date);
std::optional<NSDate> NSDateFromLocalString(std::string_view text);

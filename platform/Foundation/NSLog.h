#pragma once

#include <cstdarg>
#include <functional>
#include <string>

// printf-style formatting, as the platform's format strings are written ("%@" is not supported:
// format a value with describe() and pass it as "%s").
std::string NSStringWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string NSStringWithFormatV(const char* format, va_list args)
    __attribute__((format(printf, 1, 0)));

// Writes "yyyy-MM-dd HH:mm:ss.SSS name[pid:tid] message" as one line to stderr.
void NSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Receives the formatted messages (without the timestamp prefix) instead of stderr while set, so
// tests can check what was logged. An empty function restores stderr. Returns the previous sink.
using NSLogSink = std::function<void(const std::string& message)>;
NSLogSink NSLogSetSink(NSLogSink sink);

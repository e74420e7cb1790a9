#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// Failures travel as small values: a domain, a code, a message and optional details.
struct NSError {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
    nlohmann::json userInfo = nlohmann::json::object();

    static NSError make(std::string domain, long code, std::string description = {});
    bool operator==(const NSError& other) const {
        return domain == other.domain && code == other.code;
    }
};

using NSErrorOpt = std::optional<NSError>;

inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* NSPOSIXErrorDomain = "NSPOSIXErrorDomain";

// The URL loading system's codes, as callers compare against them.
enum NSURLErrorCode : long {
    NSURLErrorUnknown = -1,
    NSURLErrorCancelled = -999,
    NSURLErrorBadURL = -1000,
    NSURLErrorTimedOut = -1001,
    NSURLErrorUnsupportedURL = -1002,
    NSURLErrorCannotFindHost = -1003,
    NSURLErrorCannotConnectToHost = -1004,
    NSURLErrorNetworkConnectionLost = -1005,
    NSURLErrorDNSLookupFailed = -1006,
    NSURLErrorHTTPTooManyRedirects = -1007,
    NSURLErrorResourceUnavailable = -1008,
    NSURLErrorNotConnectedToInternet = -1009,
    NSURLErrorBadServerResponse = -1011,
    NSURLErrorZeroByteResource = -1014,
    NSURLErrorCannotDecodeRawData = -1015,
    NSURLErrorCannotDecodeContentData = -1016,
    NSURLErrorCannotParseResponse = -1017,
    NSURLErrorFileDoesNotExist = -1100,
    NSURLErrorDataLengthExceedsMaximum = -1103,
    NSURLErrorCannotWriteToFile = -3003,
};

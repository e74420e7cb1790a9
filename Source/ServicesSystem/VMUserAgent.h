#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "Foundation/NSError.h"
#include "Foundation/NSHTTPURLResponse.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLRequest.h"

// The one place where the map kit's user agent and log-format version are put on its requests.
// A mutable request is stamped and sent itself; any other request is replaced by a new one with
// only its URL, cache policy and time-out.

std::shared_ptr<NSURLConnection> brandedConnectionWithRequest(
    const std::shared_ptr<NSURLRequest>& request, std::weak_ptr<NSURLConnectionDelegate> delegate,
    bool startImmediately);

// Blocks the calling thread; the body, or nullopt with the error set.
std::optional<std::vector<std::uint8_t>> sendBrandedSynchronousRequest(
    const std::shared_ptr<NSURLRequest>& request, std::shared_ptr<NSHTTPURLResponse>* response,
    NSErrorOpt* error);

#pragma once

#include <string>

#include "NSError.h"

// The URL loading system's description of one of its error codes, in the language of the main
// bundle's development region as the phone's system gives it: Simplified Chinese for a
// Simplified Chinese region, English otherwise (and when the bundle names none). A code without
// a text of its own reads as an unknown error.
std::string NSURLErrorDescription(long code);

// An NSURLErrorDomain error with that description and the failing URL (when there is one); a detail
// that helps a developer (and that the user is not shown) goes under "NSDebugDescription".
NSError NSURLErrorWithCode(long code, const std::string& failingURL,
                           const std::string& detail = {});

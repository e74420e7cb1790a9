// Percent decoding and URL parsing. Decoded text is UTF-8 and survives encoding and decoding
// again; a URL's parts come from its own text.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSStringEncoding.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLUtilities.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto decoded = stringByRemovingPercentEncoding(text)) {
        FUZZ_CHECK(NSStringIsValidUTF8(*decoded));
        const NSCharacterSet nothing = NSCharacterSet::characterSetWithCharactersInString("");
        const std::string encoded =
            stringByAddingPercentEncodingWithAllowedCharacters(*decoded, nothing);
        FUZZ_CHECK(stringByRemovingPercentEncoding(encoded) == decoded);
    }
    if (const auto url = NSURL::URLWithString(text)) {
        FUZZ_CHECK(url->absoluteString() == text);
        FUZZ_CHECK(text.find(url->percentEncodedPath()) != std::string_view::npos);
        url->path();
    }
    return 0;
}

// Base64. Decoding any text is bounded by it; encoding any bytes, wrapped or not, decodes back
// to them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "Foundation/NSStringEncoding.h"
#include "FuzzCheck.h"
#include "VMBase64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto decoded = madataWithBase64EncodedString(text)) {
        FUZZ_CHECK(!decoded->empty() && decoded->size() <= size * 3 / 4 + 3);
    }
    if (const auto decodedText = mastringWithBase64EncodedString(text)) {
        FUZZ_CHECK(NSStringIsValidUTF8(*decodedText));
    }
    if (size == 0) return 0;
    // The first byte picks the wrap width, the rest is the data.
    const std::size_t wrapWidth = data[0];
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const auto encoded = mabase64EncodedStringWithWrapWidth(bytes, wrapWidth);
    FUZZ_CHECK(encoded.has_value() == !bytes.empty());
    if (!encoded) return 0;
    const auto roundTrip = madataWithBase64EncodedString(*encoded);
    FUZZ_CHECK(roundTrip &&
               std::equal(roundTrip->begin(), roundTrip->end(), bytes.begin(), bytes.end()));
    return 0;
}

// Log server replies: only an object whose "code" is the number 1 takes the records away.

#include <cstddef>
#include <cstdint>

#include "Foundation/NSJSONSerialization.h"
#include "FuzzCheck.h"
#include "VMAnalytics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!VMAnalytics::uploadAcceptedWithResponseData({data, size})) return 0;
    const auto reply = NSJSONSerialization::JSONObjectWithData(
        std::span<const std::uint8_t>(data, size), NSJSONReadingFragmentsAllowed);
    FUZZ_CHECK(reply && reply->is_object());
    FUZZ_CHECK(reply->at("code").is_number() && reply->at("code") == 1);
    return 0;
}

// Configuration replies: an answer comes only from a JSON object whose "status" is the text "1",
// and it is that object's "result".

#include <cstddef>
#include <cstdint>

#include "Foundation/NSJSONSerialization.h"
#include "FuzzCheck.h"
#include "VMMapManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto result = VMMapManifest::resultWithResponseData({data, size});
    if (!result) return 0;
    const auto reply = NSJSONSerialization::JSONObjectWithData(
        std::span<const std::uint8_t>(data, size), NSJSONReadingFragmentsAllowed);
    FUZZ_CHECK(reply && reply->is_object());
    FUZZ_CHECK(reply->at("status") == "1");
    FUZZ_CHECK(reply->at("result") == *result);
    return 0;
}

// JSON replies. Whatever reads describes itself and writes out as text that reads back the same.

#include <cstddef>
#include <cstdint>

#include "Foundation/JSONValue.h"
#include "Foundation/NSJSONSerialization.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NSError error;
    const auto value = NSJSONSerialization::JSONObjectWithData(
        std::span<const std::uint8_t>(data, size), NSJSONReadingFragmentsAllowed, &error);
    if (!value) {
        FUZZ_CHECK(error.code == 3840);
        return 0;
    }
    describe(*value);
    integerValue(*value);
    const auto text =
        NSJSONSerialization::dataWithJSONObject(*value, NSJSONWritingFragmentsAllowed);
    FUZZ_CHECK(text);
    const auto reread =
        NSJSONSerialization::JSONObjectWithData(*text, NSJSONReadingFragmentsAllowed);
    FUZZ_CHECK(reread && *reread == *value);
    return 0;
}

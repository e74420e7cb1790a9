// XML and binary property lists. Whatever reads describes itself, and whatever of it can be
// written reads back the same, in the same format.

#include <cstddef>
#include <cstdint>

#include "Foundation/JSONValue.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "FuzzCheck.h"
#include "FuzzValues.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NSPropertyListFormat format{};
    NSError error;
    const auto value =
        NSPropertyListSerialization::propertyListWithData({data, size}, &format, &error);
    if (!value) {
        FUZZ_CHECK(error.code == NSPropertyListReadCorruptError);
        return 0;
    }
    describe(*value);
    const auto written = NSPropertyListSerialization::dataWithPropertyList(*value, format);
    if (!written) return 0;
    NSPropertyListFormat rereadFormat{};
    const auto reread = NSPropertyListSerialization::propertyListWithData(*written, &rereadFormat);
    FUZZ_CHECK(reread);
    FUZZ_CHECK(rereadFormat == format);
    FUZZ_CHECK(sameValue(*reread, *value));
    return 0;
}

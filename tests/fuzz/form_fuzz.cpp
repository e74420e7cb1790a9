// The devserver's form bodies. A body that parses gives non-empty, unique UTF-8 keys and UTF-8
// values; decoding never grows the text.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "FormBody.h"
#include "Foundation/NSStringEncoding.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto decoded = devserver::formDecode(text);
    FUZZ_CHECK(!decoded || (decoded->size() <= text.size() && NSStringIsValidUTF8(*decoded)));
    std::string error;
    const auto form = devserver::FormBody::parse(text, &error);
    if (!form) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    std::set<std::string> keys;
    for (const auto& [key, value] : form->fields()) {
        FUZZ_CHECK(!key.empty() && NSStringIsValidUTF8(key) && NSStringIsValidUTF8(value));
        FUZZ_CHECK(keys.insert(key).second);
        FUZZ_CHECK(form->has(key) && form->optional(key) == value);
    }
    return 0;
}

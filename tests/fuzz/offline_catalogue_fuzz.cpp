// Arbitrary bytes as a catalogue from a server (its JSON form): every item reads, whatever its
// numbers, and a code that is let name a file names one inside the cache.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "FuzzCheck.h"
#include "VMOfflinePackage.h"
#include "ZUZavadevIru.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return 0;
    const auto package = VMOfflinePackage::packageWithDictionary(json);
    FUZZ_CHECK(package != nullptr);
    const std::filesystem::path cache = "/cache";
    for (const auto& [adcode, item] : package->items()) {
        FUZZ_CHECK(item != nullptr);
        if (!ZUZavadevIru::isFileSafeAdcode(adcode)) continue;
        const auto file = (cache / (adcode + ".zip")).lexically_normal();
        FUZZ_CHECK(file.parent_path() == cache);
    }
    return 0;
}

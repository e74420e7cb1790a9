// Arbitrary bytes read as the offline index and as the old record file: either reads or is
// refused, and a catalogue that reads archives again and reads back the same.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzTempDir.h"
#include "VMOfflineCityAggregateOld.h"
#include "VMOfflinePackage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& root = fuzzTempDir("brisfold-index-fuzz");
    const std::string input = (root / "input.plist").string();
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (auto package = VMOfflinePackage::packageWithContentsOfFile(input)) {
        package->items();
        package->cityCodeItems();
        const std::string again = (root / "again.plist").string();
        FUZZ_CHECK(package->writeToFile(again));
        auto back = VMOfflinePackage::packageWithContentsOfFile(again);
        FUZZ_CHECK(back != nullptr);
        FUZZ_CHECK(back->descriptionDictionary() == package->descriptionDictionary());
    }
    if (auto old = VMOfflineCityAggregateOld::cityAggregateWithContentsOfFile(input)) {
        for (const auto& city : old->citys) FUZZ_CHECK(city != nullptr);
    }
    return 0;
}

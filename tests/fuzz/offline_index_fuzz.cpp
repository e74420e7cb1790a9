// Arbitrary bytes read as the offline index and as the old record file: either reads or is
// refused, and a catalogue that reads archives again and reads back the same.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "FuzzCheck.h"
#include "VMOfflineCityAggregateOld.h"
#include "VMOfflinePackage.h"

namespace {

namespace fs = std::filesystem;

const fs::path& root() {
    static const fs::path path = [] {
        const fs::path base = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = (base / "brisfold-index-fuzz-XXXXXX").string();
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        return fs::path(pattern);
    }();
    // Removed when the process ends, so that runs leave nothing behind.
    static const struct Cleanup {
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } cleanup;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = (root() / "input.plist").string();
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (auto package = VMOfflinePackage::packageWithContentsOfFile(input)) {
        package->items();
        package->cityCodeItems();
        const std::string again = (root() / "again.plist").string();
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

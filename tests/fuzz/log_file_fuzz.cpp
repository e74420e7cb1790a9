// Arbitrary bytes as a stored analytics log file. Reading never fails loudly: a file that
// unarchives gives its entries and stays; one that does not clears every log.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSPathUtilities.h"
#include "FuzzTempDir.h"
#include "VMAnalytics.h"

namespace {

std::string gHome;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gHome = fuzzTempDir("log_file_fuzz").string();
    NSSetHomeDirectory(gHome);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string directory = gHome + "/Library/Caches/VMAnalyticsLog/error";
    std::filesystem::create_directories(directory);
    const std::string file = directory + "/1765065600000";
    FUZZ_CHECK(NSDataWriteToFile(NSData(data, data + size), file, true));
    const auto analytics = VMAnalytics::sharedInstance();
    const auto logs = analytics->logsWithType(VMAnalyticsLogTypeError);
    const auto value = NSKeyedUnarchiver::unarchiveObjectWithData({data, size});
    if (!value) {
        FUZZ_CHECK(logs.empty());
        FUZZ_CHECK(!std::filesystem::exists(gHome + "/Library/Caches/VMAnalyticsLog"));
        return 0;
    }
    FUZZ_CHECK(std::filesystem::exists(file));
    const std::size_t expected = value->is_object() ? 1 : value->is_array() ? value->size() : 0;
    FUZZ_CHECK(logs.size() == expected);
    return 0;
}

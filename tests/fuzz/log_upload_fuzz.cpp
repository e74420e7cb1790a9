// The devserver's upload decoder, on the input as a gzip body and as the inflated JSON text.
// What it accepts holds the header's twelve facts and at most the bound of records, of six texts
// each.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "LogUpload.h"

namespace {

void check(const std::optional<devserver::LogUpload>& upload) {
    if (!upload) return;
    FUZZ_CHECK(upload->header.size() == 12 && upload->header.at("key").is_string());
    FUZZ_CHECK(!upload->records.empty() &&
               upload->records.size() <= devserver::kMaxLogUploadRecords);
    for (const auto& record : upload->records)
        FUZZ_CHECK(record.size() == 6 && record.at("et").is_string());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(devserver::decodeLogUpload(bytes));
    check(devserver::decodeLogUploadText(bytes));
    return 0;
}

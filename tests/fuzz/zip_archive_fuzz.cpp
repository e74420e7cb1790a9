// Arbitrary bytes unpacked as a zip archive into a folder on tmpfs: whatever the archive holds,
// nothing may appear outside that folder, and no more than the free space (a small disk here)
// inside it.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "FuzzTempDir.h"
#include "VMZipArchive.h"

namespace {

namespace fs = std::filesystem;

// The free space of the small disk the archives unpack onto.
constexpr std::uint64_t kFree = 1 << 20;

// The archive, the destination and an empty sentinel beside it.
const fs::path& root() { return fuzzTempDir("brisfold-zip-fuzz"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fs::create_directories(root() / "sentinel");
    const fs::path archive = root() / "input.zip";
    const fs::path destination = root() / "dest";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    fs::create_directories(destination);
    auto zip = VMZipArchive::create();
    zip->setFreeSpaceQuery([](const std::string&) { return std::optional(kFree); });
    if (zip->UnzipOpenFile(archive.string())) {
        zip->getZipFileContents();
        zip->UnzipFileTo(destination.string(), true);
        zip->UnzipCloseFile();
    }
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(root())) {
        ++entries;
        const auto name = entry.path().filename();
        FUZZ_CHECK(name == "input.zip" || name == "dest" || name == "sentinel");
    }
    FUZZ_CHECK(entries == 3);
    FUZZ_CHECK(fs::is_empty(root() / "sentinel"));
    std::uint64_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        if (entry.is_regular_file()) written += entry.file_size();
    }
    FUZZ_CHECK(written <= kFree);
    fs::remove_all(destination);
    return 0;
}

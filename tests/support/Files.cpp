#include "Files.h"

#include <fstream>
#include <sstream>

namespace testsupport {

std::string readFile(const std::filesystem::path& path) {
    // In one pass over the stream buffer: a character at a time costs seconds per megabyte under
    // the thread sanitizer.
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

std::map<std::string, std::string> fileTree(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path());
        }
    }
    return files;
}

}  // namespace testsupport

#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace testsupport {

// The whole file, or nothing when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Every regular file below the root by its relative path, with its bytes; empty when the root
// does not exist.
std::map<std::string, std::string> fileTree(const std::filesystem::path& root);

}  // namespace testsupport

#pragma once

#include <filesystem>
#include <string_view>

// Keeping downloaded data out of backups: files so marked carry the extended attribute
// "user.excluded-from-backup" = "1", which backup tools on this platform honour.

// Whether the running system's version (the kernel release) is not lower than version,
// comparing dot-separated numbers.
bool systemVersionGreaterThanOrEqualTo(std::string_view version);
// Marks the existing file or directory; false when nothing is there or marking fails.
bool forbidBackup(const std::filesystem::path& path);
// Creates the directory with its parents, then marks it.
bool createDirectoryAndForbidBackup(const std::filesystem::path& path);

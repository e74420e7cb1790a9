#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

// Keeping downloaded data out of backups. The marker depends on the phone system's version
// (UIDevice's systemVersion): from 5.1 on a file carries the extended attribute
// "user.excluded-from-backup" = "1"; from 5.0.1 the older marker "user.no-backup" = byte 1;
// earlier systems have no marker at all.

// Writes one extended attribute on a path; the system's setxattr unless a caller hands in
// another (a file system that keeps no user attributes, in tests).
using ExtendedAttributeWriter = std::error_code (*)(const std::filesystem::path& path,
                                                    std::string_view name, std::string_view value);
std::error_code setExtendedAttribute(const std::filesystem::path& path, std::string_view name,
                                     std::string_view value);

// Whether the device's system version is not lower than version, comparing dot-separated
// numbers.
bool systemVersionGreaterThanOrEqualTo(std::string_view version);
// Marks the existing file or directory; false when nothing is there, the system is too old or
// the marker cannot be written (logged).
bool forbidBackup(const std::filesystem::path& path,
                  ExtendedAttributeWriter write = setExtendedAttribute);
// Creates the directory with its parents, then marks it. A directory that was made stays made
// when it cannot be marked: false then says only that it is not excluded from backups.
bool createDirectoryAndForbidBackup(const std::filesystem::path& path,
                                    ExtendedAttributeWriter write = setExtendedAttribute);

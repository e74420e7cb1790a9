#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "NSError.h"

// Bytes. The same container nlohmann::json keeps binary values in, so data moves between the two
// without conversion.
using NSData = std::vector<std::uint8_t>;

NSData NSDataFromString(std::string_view text);
std::string NSStringFromData(std::span<const std::uint8_t> data);

std::optional<NSData> NSDataWithContentsOfFile(const std::string& path, NSError* error = nullptr);
// Atomically: the bytes go to a temporary file in the same directory which is synced and then
// renamed over the target, so readers and crashes see either the old or the new file, never a mix.
// Atomically, the file gets the permissions whatever the umask (0600 for one holding secrets).
// The temporary is named "<file name>.XXXXXX" and held locked until it is renamed.
bool NSDataWriteToFile(std::span<const std::uint8_t> data, const std::string& path, bool atomically,
                       NSError* error = nullptr, unsigned permissions = 0644);
// Removes the temporaries of atomic writes to path that no write holds: those a process killed
// while writing left behind. A store calls it when it opens its file.
void NSDataRemoveStaleTemporaries(const std::string& path);

// A test's stand-in for the disk under every write to a file: asked with the file's path before
// the bytes go out, it answers 0 to let them go or an errno (ENOSPC for a full disk) that fails
// the write as the system would. Empty, as it starts: every write goes out.
using NSDataWriteFault = std::function<int(const std::string& path)>;
void NSDataSetWriteFault(NSDataWriteFault fault);

// Lower-case hexadecimal MD5 of the bytes.
std::string md5Hex(std::span<const std::uint8_t> data);
std::string md5Hex(std::string_view text);
// Standard alphabet with padding, no line breaks.
std::string base64Encode(std::span<const std::uint8_t> data);
std::string base64Encode(std::string_view text);
// Accepts padded input with optional line breaks; nullopt for anything else.
std::optional<NSData> base64Decode(std::string_view text);

#include <filesystem>

#include "NSFileManager+VMZipArchive.h"

namespace {

// More links in a row than any real layout uses: a loop.
constexpr int kMaxLinks = 40;

}  // namespace

std::optional<NSFileAttributes> attributesOfItemAtPath(NSFileManager& fileManager,
                                                       const std::string& path,
                                                       bool followingSymLinks, NSError* error) {
    std::filesystem::path current = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        auto attributes = fileManager.attributesOfItemAtPath(current.string(), error);
        if (!attributes || !followingSymLinks || attributes->type != NSFileType::SymbolicLink) {
            return attributes;
        }
        auto destination = fileManager.destinationOfSymbolicLinkAtPath(current.string(), error);
        if (!destination) return std::nullopt;
        const std::filesystem::path next = *destination;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    if (error) *error = NSError::make(NSCocoaErrorDomain, 256, "Too many levels of symbolic links");
    return std::nullopt;
}

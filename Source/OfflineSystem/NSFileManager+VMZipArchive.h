#pragma once

#include <optional>
#include <string>

#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"

// The item's attributes; with following asked, a symbolic link (and a chain of them) stands for
// its destination. nullopt when any step fails, or the chain is too long to be anything but a
// loop.
std::optional<NSFileAttributes> attributesOfItemAtPath(NSFileManager& fileManager,
                                                       const std::string& path,
                                                       bool followingSymLinks,
                                                       NSError* error = nullptr);

#pragma once

#include <string>
#include <string_view>
#include <vector>

// The app home: the one sandbox directory the app keeps its files in, chosen once at start
// (`--home DIR`), by default $XDG_DATA_HOME/brisfold or ~/.local/share/brisfold. Its standard
// subdirectories (Documents, Library, Library/Caches, Library/Preferences, tmp) are created on
// demand by the lookups below.

// Sets the home; the directory itself is created on first use. Tests point it at a temp dir.
void NSSetHomeDirectory(const std::string& path);
// The home, created when missing.
std::string NSHomeDirectory();
// The default home from the environment, without creating it.
std::string NSDefaultHomeDirectory();
// home/relative, created (with intermediates) when missing. Empty when it cannot be created.
std::string NSHomeSubdirectory(std::string_view relative);
// home/tmp/ (with the trailing slash the platform gives).
std::string NSTemporaryDirectory();

enum NSSearchPathDirectory {
    NSLibraryDirectory = 5,
    NSDocumentDirectory = 9,
    NSCachesDirectory = 13,
};
enum NSSearchPathDomainMask {
    NSUserDomainMask = 1,
};
// One path for the user domain (the app home has no others); empty for other domains.
std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask,
                                                             bool expandTilde = true);

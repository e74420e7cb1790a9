#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "FuzzCheck.h"

// A directory of the process's own, on tmpfs where there is one, removed when the process ends
// so that runs leave nothing behind.
inline const std::filesystem::path& fuzzTempDir(const char* name) {
    namespace fs = std::filesystem;
    static const fs::path path = [name] {
        const fs::path base = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = (base / (std::string(name) + "-XXXXXX")).string();
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        return fs::path(pattern);
    }();
    static const struct Cleanup {
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } cleanup;
    return path;
}

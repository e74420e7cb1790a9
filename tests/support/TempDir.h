#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes: an app home, a bundle or a data file's place that no other test run shares.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of an entry below the directory, as the platform's file calls take it.
    std::string operator/(std::string_view relative) const;

  private:
    std::filesystem::path path_;
};

}  // namespace testsupport

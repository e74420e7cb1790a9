#include "shell/AppHome.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

bool prepareAppHome(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    auto refuse = [&](const std::string& cause) {
        error = "cannot use " + path + " as the app home: " + cause;
        return false;
    };
    if (path.empty()) return refuse("no path given");
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) return refuse("it is not a directory");
    } else if (!fs::create_directories(path, ec) && ec) {
        return refuse(ec.message());
    }
    if (faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return refuse(std::strerror(errno));
    return true;
}

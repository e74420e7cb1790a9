#pragma once

#include <optional>
#include <string>
#include <vector>

// The application's command line:
//   brisfold [--home DIR] [--server URL] [--location FILE|LAT,LON] [--headless]
//            [--screenshot PATH [--after SECONDS]] | --help
struct AppOptions {
    std::string home;
    std::string server;    // base address of every outside server; empty: start the devserver
    std::string location;  // a track file or a fixed "LAT,LON"
    bool headless = false;
    std::string screenshot;
    double after = 0.5;
    bool help = false;  // print the usage and do nothing else

    // Absent with a message in error when the arguments are not understood.
    static std::optional<AppOptions> parse(const std::vector<std::string>& args,
                                           std::string& error);
    static const char* usage();
};

#pragma once

#include <httplib.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DevServer.h"
#include "TestDevServer.h"

namespace testsupport {

// The devserver for tile downloads, on a free port of 127.0.0.1 with its database at `database`;
// null when it could not start, with the reason in `error`.
inline std::unique_ptr<devserver::DevServer> startTileServer(const std::filesystem::path& database,
                                                             std::string* error) {
    auto server = std::make_unique<devserver::DevServer>(database, devServerTestOptions());
    if (!server->start(0, error)) return nullptr;
    return server;
}

// The tile requests the devserver has had, in the order they arrived.
inline std::vector<std::string> tileLog(const devserver::DevServer& server) {
    httplib::Client client("127.0.0.1", server.port());
    const auto result = client.Get("/tiles/log");
    std::vector<std::string> lines;
    if (!result) return lines;
    std::istringstream in(result->body);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace testsupport

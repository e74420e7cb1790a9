#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Deadline.h"
#include "DevServer.h"
#include "MapDataAtExit.h"
#include "TempDir.h"
#include "VMMapServices.h"
#include "vmap_core/MapEngine.h"
#include "vmap_core/MapEngineInternal.h"

// A created and initialised least engine, current from now on.
inline MapEngine* newEngine() {
    EngineCreationRecord record{};
    std::strcpy(record.dataDirectory, "/tmp/zaroruda/data/");
    std::strcpy(record.fontName, "Sans Bold");
    MapEngine* engine = mapEngineCreate(&record);
    mapEngineInit(engine);
    return engine;
}

// What the engine stores for the grid once its queue of stores is worked off.
inline std::optional<std::vector<std::uint8_t>> storedGrid(MapEngine* engine, MapDataType type,
                                                           const std::string& name) {
    mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + std::chrono::seconds(20));
    return mapEngineStoredGridData(engine, type, name);
}

// The grids of a type on screen, each with whether the engine holds it.
inline std::vector<std::pair<std::string, bool>> shownGrids(MapEngine* engine,
                                                            MapDataType type = 0) {
    std::vector<std::pair<std::string, bool>> grids;
    std::vector<std::uint8_t> buffer(4000, 0);
    const int count = mapEngineGetCurrentTiles(engine, buffer.data(), 4000, type);
    for (std::size_t at = 1, i = 0; i < static_cast<std::size_t>(count); ++i) {
        const std::size_t length = buffer[at];
        grids.emplace_back(std::string(reinterpret_cast<char*>(&buffer[at + 1]), length),
                           buffer[at + 1 + length] == 1);
        at += length + 2;
    }
    return grids;
}

inline bool allShownGridsHeld(MapEngine* engine, MapDataType type = 0) {
    const auto grids = shownGrids(engine, type);
    return !grids.empty() &&
           std::all_of(grids.begin(), grids.end(), [](const auto& g) { return g.second; });
}

// The devserver in-process on an ephemeral port, set as the map server.
class LocalMapDataServer {
  public:
    ::testing::AssertionResult start() {
        devserver::DevServerOptions options;
        options.passwordIterations = 1;
        server = std::make_unique<devserver::DevServer>(dir.path() / "devserver.sqlite", options);
        if (!server->start(0)) return ::testing::AssertionFailure() << "devserver did not start";
        base = "http://127.0.0.1:" + std::to_string(server->port()) + "/";
        // Nothing waits for reachability: the kit must not depend on a probe made before it asks.
        VMMapServices::sharedServices()->setInternalServerAddress(base);
        return ::testing::AssertionSuccess();
    }
    ~LocalMapDataServer() {
        if (server) server->stop();
    }

    devserver::MapDataEndpoints& mapData() { return server->mapData(); }
    std::vector<std::string> targets() {
        std::vector<std::string> out;
        for (const auto& r : mapData().requests()) out.push_back(r.target);
        return out;
    }

    testsupport::TempDir dir;
    std::unique_ptr<devserver::DevServer> server;
    std::string base;
};

class MapDataServerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(local.start()); }
    void TearDown() override {
        if (local.server) local.server->stop();
    }

    devserver::MapDataEndpoints& mapData() { return local.mapData(); }
    std::vector<std::string> targets() { return local.targets(); }

    LocalMapDataServer local;
    const std::string& base = local.base;
};

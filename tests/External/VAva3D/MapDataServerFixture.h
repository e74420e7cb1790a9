#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ACEReachability.h"
#include "Deadline.h"
#include "DevServer.h"
#include "TempDir.h"
#include "VMMapServices.h"

// The devserver in-process on an ephemeral port, set as the map server and found reachable.
class MapDataServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        devserver::DevServerOptions options;
        options.passwordIterations = 1;
        server = std::make_unique<devserver::DevServer>(dir.path() / "devserver.sqlite", options);
        ASSERT_TRUE(server->start(0));
        base = "http://127.0.0.1:" + std::to_string(server->port()) + "/";
        VMMapServices::sharedServices()->setInternalServerAddress(base);
        ASSERT_TRUE(testsupport::waitUntil(
            [] { return ACEReachability::getCurrentNetWorkStatus() != ACENotReachable; }));
    }
    void TearDown() override {
        if (server) server->stop();
    }

    devserver::MapDataEndpoints& mapData() { return server->mapData(); }
    std::vector<std::string> targets() {
        std::vector<std::string> out;
        for (const auto& r : mapData().requests()) out.push_back(r.target);
        return out;
    }
    bool waitForRequests(std::size_t n) {
        return testsupport::waitUntil([&] { return mapData().requests().size() >= n; });
    }

    testsupport::TempDir dir;
    std::unique_ptr<devserver::DevServer> server;
    std::string base;
};

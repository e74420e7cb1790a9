#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "DevServer.h"
#include "TempDir.h"

namespace devserver::test {

// Every test seeds a fresh data file, so the suites create many accounts.
inline constexpr int kTestPasswordIterations = 1000;

inline DevServerOptions testOptions() {
    DevServerOptions options;
    options.passwordIterations = kTestPasswordIterations;
    return options;
}

inline nlohmann::json parseJson(const httplib::Result& result) {
    if (!result) return nullptr;
    return nlohmann::json::parse(result->body, nullptr, false);
}

// A devserver on a free port of 127.0.0.1 with a freshly seeded data file of its own.
class DevServerFixture : public ::testing::Test {
  protected:
    void SetUp() override { restart(testOptions()); }

    void restart(DevServerOptions options) {
        server_.reset();
        server_ = std::make_unique<DevServer>(dir_.path() / "data" / "devserver.sqlite",
                                              std::move(options));
        std::string error;
        ASSERT_TRUE(server_->start(0, &error)) << error;
    }

    httplib::Client client() {
        httplib::Client client("127.0.0.1", server_->port());
        client.set_connection_timeout(5);
        client.set_read_timeout(20);
        return client;
    }

    httplib::Result post(const std::string& path, const std::string& body) {
        return client().Post(("/api/" + path).c_str(), body, "application/x-www-form-urlencoded");
    }

    nlohmann::json login(std::string_view user, std::string_view password) {
        auto result = post("Engineer/Login",
                           "UserName=" + std::string(user) + "&PassWord=" + std::string(password));
        EXPECT_TRUE(result);
        if (result) {
            EXPECT_EQ(result->status, 200);
        }
        return parseJson(result);
    }

    testsupport::TempDir dir_;
    std::unique_ptr<DevServer> server_;
};

}  // namespace devserver::test

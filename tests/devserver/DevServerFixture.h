#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "DevServer.h"
#include "SeedData.h"
#include "TempDir.h"
#include "TestDevServer.h"

namespace devserver::test {

using testsupport::kTestPasswordIterations;

inline DevServerOptions testOptions() { return testsupport::devServerTestOptions(); }

// The devserver program with the given arguments, at the tests' password cost as the in-process
// servers have it.
inline testsupport::ChildProcess::Options devServerProgram(
    std::vector<std::string> args,
    std::string passwordIterations = std::to_string(kTestPasswordIterations)) {
    testsupport::ChildProcess::Options options;
    options.args = std::move(args);
    options.args.insert(options.args.begin(), BRISFOLD_DEVSERVER_EXE);
    options.env["BRISFOLD_DEVSERVER_PASSWORD_ITERATIONS"] = std::move(passwordIterations);
    return options;
}

inline nlohmann::json parseJson(const httplib::Result& result) {
    if (!result) return nullptr;
    return nlohmann::json::parse(result->body, nullptr, false);
}

// The status of a reply; 0 when none came.
inline int statusOf(const httplib::Result& result) { return result ? result->status : 0; }

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

    // Sent with the session of the engineer the body names, else of the last one signed in.
    httplib::Result post(const std::string& path, const std::string& body) {
        return postWithCookie(sessionFor(body), path, body);
    }

    httplib::Result postWithCookie(const std::string& cookie, const std::string& path,
                                   const std::string& body) {
        httplib::Headers headers;
        if (!cookie.empty()) headers.emplace("Cookie", cookie);
        return client().Post(("/api/" + path).c_str(), headers, body,
                             "application/x-www-form-urlencoded");
    }

    // Signs in the first two sample engineers, the second last.
    void signInBoth() {
        engineer_ = login(kSeedEngineers[0].userName, kSeedEngineers[0].password)["UserID"];
        other_ = login(kSeedEngineers[1].userName, kSeedEngineers[1].password)["UserID"];
    }

    // The reply of an endpoint, which answers with the status given.
    nlohmann::json call(const std::string& path, const std::string& body, int status = 200) {
        const auto result = post(path, body);
        EXPECT_TRUE(result && result->status == status) << path << " " << body;
        return parseJson(result);
    }

    nlohmann::json login(std::string_view user, std::string_view password) {
        auto result =
            postWithCookie("", "Engineer/Login",
                           "UserName=" + std::string(user) + "&PassWord=" + std::string(password));
        EXPECT_TRUE(result);
        if (!result) return nullptr;
        EXPECT_EQ(result->status, 200);
        auto reply = parseJson(result);
        const std::string cookie = result->get_header_value("Set-Cookie");
        if (reply.is_object() && reply.contains("UserID") && !cookie.empty()) {
            lastSession_ = cookie.substr(0, cookie.find(';'));
            sessions_[reply["UserID"].get<std::string>()] = lastSession_;
        }
        return reply;
    }

    // The Cookie field of the engineer's session ("name=token"); empty when not signed in.
    std::string sessionFor(const std::string& body) const {
        for (const char* key : {"brisfoldID=", "UserOrEngineerID=", "engineerID="}) {
            for (size_t at = body.find(key); at != std::string::npos; at = body.find(key, at + 1)) {
                if (at != 0 && body[at - 1] != '&') continue;
                const size_t start = at + std::string_view(key).size();
                const auto found =
                    sessions_.find(body.substr(start, body.find('&', start) - start));
                if (found != sessions_.end()) return found->second;
            }
        }
        return lastSession_;
    }

    std::string engineer_;
    std::string other_;
    std::map<std::string, std::string> sessions_;
    std::string lastSession_;
    testsupport::TempDir dir_;
    std::unique_ptr<DevServer> server_;
};

}  // namespace devserver::test

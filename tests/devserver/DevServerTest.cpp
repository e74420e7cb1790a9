#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DevServer.h"
#include "SeedData.h"
#include "TempDir.h"

namespace devserver {
namespace {

nlohmann::json parseJson(const httplib::Result& result) {
    if (!result) return nullptr;
    return nlohmann::json::parse(result->body, nullptr, false);
}

bool isHex32(const nlohmann::json& value) {
    if (!value.is_string()) return false;
    const auto text = value.get<std::string>();
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

class DevServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server_.start(0, &error)) << error;
    }

    httplib::Client client() {
        httplib::Client client("127.0.0.1", server_.port());
        client.set_connection_timeout(5);
        client.set_read_timeout(10);
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

    void expectHealthy() {
        const auto reply = parseJson(client().Get("/health"));
        EXPECT_EQ(reply.value("code", ""), "1");
    }

    testsupport::TempDir dir_;
    DevServer server_{dir_.path() / "data" / "devserver.sqlite"};
};

TEST_F(DevServerTest, LoginReturnsTheSessionOfEachSeededEngineer) {
    EXPECT_GT(server_.port(), 0);
    std::vector<std::string> userIds;
    for (const auto& seed : kSeedEngineers) {
        const auto reply = login(seed.userName, seed.password);
        EXPECT_EQ(reply["code"], "1");
        EXPECT_EQ(reply["tip"], "登录成功");
        EXPECT_TRUE(isHex32(reply["UserID"]));
        EXPECT_TRUE(isHex32(reply["Token"]));
        EXPECT_EQ(reply["EngineerNo"], seed.engineerNo);
        EXPECT_EQ(reply["FullName"], seed.fullName);
        EXPECT_EQ(reply["Mobile"], seed.mobile);
        EXPECT_EQ(reply["Level"], seed.level);
        EXPECT_TRUE(reply["Photo"].is_string());
        EXPECT_EQ(reply["Statistics"]["OrderCount"],
                  std::to_string(5 * kSeedOrdersPerStatePerEngineer));
        EXPECT_EQ(reply["Statistics"]["FinishCount"],
                  std::to_string(kSeedOrdersPerStatePerEngineer));

        Database db(server_.dataFile());
        const auto userId = reply["UserID"].get<std::string>();
        const int64_t unread = db.scalar(
            "SELECT COUNT(*) FROM messages WHERE engineer_id = ? AND is_read = 0 AND "
            "news_type_id <> -1",
            userId);
        EXPECT_GT(unread, 0);
        EXPECT_EQ(reply["NotReadCount"], std::to_string(unread));
        userIds.push_back(userId);
    }
    EXPECT_NE(userIds[0], userIds[1]);

    const auto again = login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    EXPECT_EQ(again["UserID"], userIds[0]);
    EXPECT_NE(again["Token"],
              login(kSeedEngineers[0].userName, kSeedEngineers[0].password)["Token"]);
}

TEST_F(DevServerTest, LoginRefusesWrongCredentialsWithTheSameTip) {
    const auto& seed = kSeedEngineers[0];
    const auto wrong = login(seed.userName, std::string(seed.password) + "0");
    EXPECT_EQ(wrong["code"], "0");
    EXPECT_EQ(wrong["tip"], "用户名或密码错误");
    EXPECT_FALSE(wrong.contains("Token"));
    const auto otherPassword = login(seed.userName, kSeedEngineers[1].password);
    EXPECT_EQ(otherPassword["code"], "0");
    const auto unknown = login("nobody", seed.password);
    EXPECT_EQ(unknown["code"], "0");
    EXPECT_EQ(unknown["tip"], "用户名或密码错误");
    const auto chinese = login("张伟", "密码");
    EXPECT_EQ(chinese["code"], "0");
    EXPECT_EQ(chinese["tip"], "用户名或密码错误");
    // Escaped and raw forms of the same name are the same name.
    EXPECT_EQ(login("%7Ahangwei", seed.password)["code"], "1");
}

TEST_F(DevServerTest, BadBodiesGetCodeZeroAndTheServerKeepsAnswering) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "缺少参数: UserName"},
        {"UserName=zhangwei", "缺少参数: PassWord"},
        {"UserName=zhangwei&PassWord=", "缺少参数: PassWord"},
        {"UserName=zhangwei&PassWord=zw123456&PassWord=x", "请求参数重复: PassWord"},
        {"UserName=\xc3\x28&PassWord=1", "请求参数不是有效的文本"},
    };
    for (const auto& [body, tip] : cases) {
        const auto result = post("Engineer/Login", body);
        ASSERT_TRUE(result) << body;
        EXPECT_EQ(result->status, 200);
        const auto reply = parseJson(result);
        EXPECT_EQ(reply["code"], "0") << body;
        EXPECT_EQ(reply["tip"], tip) << body;
    }

    std::mt19937 engine(7);
    std::string garbage(4096, '\0');
    for (auto& byte : garbage) byte = static_cast<char>(engine() & 0xFF);
    const auto garbageReply = parseJson(post("Engineer/Login", garbage));
    EXPECT_EQ(garbageReply["code"], "0");

    const auto huge = post("Engineer/Login", "UserName=" + std::string(1 << 20, 'a'));
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->status, 413);
    EXPECT_EQ(parseJson(huge)["code"], "0");
    expectHealthy();
    EXPECT_EQ(login(kSeedEngineers[1].userName, kSeedEngineers[1].password)["code"], "1");
}

TEST_F(DevServerTest, UnknownPathsAnswer404WithTheEnvelope) {
    for (const char* path : {"/api/Engineer/Nothing", "/api/", "/nothing"}) {
        const auto result = client().Post(path, "a=1", "application/x-www-form-urlencoded");
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 404) << path;
        EXPECT_EQ(parseJson(result)["code"], "0") << path;
    }
    const auto get = client().Get("/api/Engineer/Login");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 404);
}

TEST_F(DevServerTest, ATruncatedRequestDoesNotStopTheServer) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server_.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string partial =
        "POST /api/Engineer/Login HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nUserName=";
    EXPECT_EQ(send(fd, partial.data(), partial.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(partial.size()));
    close(fd);
    expectHealthy();
}

TEST_F(DevServerTest, ConcurrentLoginsAllSucceed) {
    std::vector<std::thread> threads;
    std::atomic<int> successes{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const auto& seed = kSeedEngineers[static_cast<size_t>(t) % kSeedEngineers.size()];
            for (int i = 0; i < 10; ++i) {
                const auto result = client().Post("/api/Engineer/Login",
                                                  "UserName=" + std::string(seed.userName) +
                                                      "&PassWord=" + std::string(seed.password),
                                                  "application/x-www-form-urlencoded");
                if (parseJson(result).value("code", "") == "1") ++successes;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(successes, 40);
}

TEST_F(DevServerTest, RestartKeepsTheDataAndItsChanges) {
    const auto first = login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    const int64_t inquiries = Database(server_.dataFile()).scalar("SELECT COUNT(*) FROM inquiries");
    server_.stop();
    EXPECT_FALSE(server_.running());
    EXPECT_FALSE(client().Get("/health"));

    {
        Database db(server_.dataFile());
        db.run("UPDATE messages SET is_read = 1 WHERE engineer_id = ?",
               first["UserID"].get<std::string>());
    }
    std::string error;
    ASSERT_TRUE(server_.start(0, &error)) << error;
    const auto second = login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    EXPECT_EQ(second["UserID"], first["UserID"]);
    EXPECT_EQ(second["NotReadCount"], "0");
    Database db(server_.dataFile());
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM inquiries"), inquiries);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM engineers"),
              static_cast<int64_t>(kSeedEngineers.size()));
}

TEST_F(DevServerTest, StartReportsAPortInUseAndAnUnusableDataFile) {
    DevServer samePort(dir_ / "other.sqlite");
    std::string error;
    EXPECT_FALSE(samePort.start(server_.port(), &error));
    EXPECT_NE(error.find(std::to_string(server_.port())), std::string::npos);
    EXPECT_FALSE(samePort.running());

    DevServer directory(dir_.path());
    error.clear();
    EXPECT_FALSE(directory.start(0, &error));
    EXPECT_FALSE(error.empty());
    expectHealthy();
}

}  // namespace
}  // namespace devserver

#include <future>

#include "CoreGraphics/CGImage.h"
#include "Deadline.h"
#include "DevServerFixture.h"
#include "EngineerPictures.h"

namespace devserver::test {
namespace {

class PushEndpointsTest : public DevServerFixture {
  protected:
    httplib::Result send(const std::string& body) {
        return client().Post("/push/send", body, "application/x-www-form-urlencoded");
    }
    nlohmann::json poll(const std::string& query) {
        const auto result = client().Get(("/push/poll?" + query).c_str());
        EXPECT_TRUE(result);
        if (!result) return {};
        EXPECT_EQ(result->status, 200);
        return nlohmann::json::parse(result->body, nullptr, false);
    }
};

// That the app counts it as unread is checked through the message centre.
TEST_F(PushEndpointsTest, SentMessageReachesTheEngineersWaitingPollOnly) {
    const std::string id = login("zhangwei", "zw123456")["UserID"];
    const std::uint64_t last = poll("brisfoldID=" + id)["last"];
    auto waiting = std::async(std::launch::async, [&] {
        return poll("brisfoldID=" + id + "&wait=20&after=" + std::to_string(last));
    });
    EXPECT_EQ(statusOf(send("brisfoldID=" + id + "&alert=%E6%96%B0%E8%AE%A2%E5%8D%95")), 200);
    const auto reply = waiting.get();
    ASSERT_EQ(reply["notifications"].size(), 1u);
    EXPECT_EQ(reply["notifications"][0]["userInfo"]["aps"]["alert"], "新订单");
    EXPECT_EQ(reply["last"], reply["notifications"][0]["id"]);

    const std::string other = login("lina", "ln123456")["UserID"];
    EXPECT_TRUE(
        poll("brisfoldID=" + other + "&wait=0&after=" + std::to_string(last))["notifications"]
            .empty());
}

TEST_F(PushEndpointsTest, BadSendsAndPollsAreRefused) {
    const std::string id = login("zhangwei", "zw123456")["UserID"];
    const std::pair<std::string, int> sends[] = {
        {"brisfoldID=" + id, 400},
        {"alert=x", 400},
        {"brisfoldID=nobody&alert=x", 404},
        {"brisfoldID=" + id + "&alert=" + std::string(PushEndpoints::kMaxAlertBytes + 1, 'x'), 400},
    };
    for (const auto& [body, status] : sends) {
        EXPECT_EQ(statusOf(send(body)), status) << body.substr(0, 60);
    }
    for (const char* query : {"", "brisfoldID=", "brisfoldID=a&after=x", "brisfoldID=a&wait=x"}) {
        EXPECT_EQ(statusOf(client().Get((std::string("/push/poll?") + query).c_str())), 400)
            << query;
    }
    EXPECT_EQ(statusOf(client().Get("/push/send")), 405);
}

TEST_F(PushEndpointsTest, StoppingAnswersAWaitingPoll) {
    const std::string id = login("zhangwei", "zw123456")["UserID"];
    auto waiting = std::async(std::launch::async, [&] {
        return client().Get(("/push/poll?brisfoldID=" + id + "&wait=30&after=0").c_str());
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return server_->push().waitingPolls() == 1; }));
    server_->stop();
    EXPECT_EQ(statusOf(waiting.get()), 200);
}

TEST_F(PushEndpointsTest, OnlyEngineersWithAPictureHaveOne) {
    const auto photo = login("zhangwei", "zw123456")["Photo"].get<std::string>();
    const auto picture = client().Get(photo.c_str());
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->status, 200);
    const auto image = CGImage::createWithData(
        {reinterpret_cast<const uint8_t*>(picture->body.data()), picture->body.size()});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), kEngineerPictureSide);
    const CGColor corner = image->pixelAt(2, 2);
    EXPECT_NEAR(corner.b * 255, kEngineerPictureColour.b, 1.5);
    EXPECT_EQ(login("lina", "ln123456")["Photo"], "");
    EXPECT_EQ(statusOf(client().Get("/images/engineers/GC20260002.png")), 404);
}

}  // namespace
}  // namespace devserver::test

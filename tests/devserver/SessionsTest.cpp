#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "Deadline.h"
#include "DevServerFixture.h"
#include "Gate.h"
#include "PasswordHash.h"
#include "SeedData.h"
#include "Sessions.h"

namespace devserver {
namespace {

class SessionsTest : public test::DevServerFixture {
  protected:
    void SetUp() override {
        DevServerFixture::SetUp();
        signInBoth();
        me_ = engineer_;
        mine_ = sessions_[me_];
    }

    Database open() { return Database(server_->dataFile()); }

    std::string firstOf(const std::string& sql, const std::string& engineer) {
        auto db = open();
        auto row = db.query(sql, engineer);
        EXPECT_TRUE(row.step()) << sql;
        return row.text(0);
    }

    // Every table but the sessions, row by row: what a refused request must leave as it was.
    std::string contents() {
        auto db = open();
        std::vector<std::string> tables;
        auto names = db.query(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'sessions' "
            "ORDER BY name");
        while (names.step()) tables.push_back(names.text(0));
        std::string all;
        for (const auto& table : tables) {
            auto rows = db.query("SELECT * FROM " + table + " ORDER BY rowid");
            while (rows.step()) {
                for (int c = 0; c < rows.columnCount(); ++c) all += rows.text(c) + "\x1f";
                all += "\n";
            }
        }
        return all;
    }

    std::string me_, mine_;
};

TEST_F(SessionsTest, NoEngineerActsForAnother) {
    const std::string hisOrder =
        "SELECT order_id FROM orders WHERE engineer_id = ? AND order_state_id = ";
    const std::string waiting = firstOf(hisOrder + "18", other_);
    const std::string departed = firstOf(hisOrder + "19", other_);
    const std::string working = firstOf(hisOrder + "20", other_);
    const std::string cancelled =
        firstOf(hisOrder + "22 AND is_leave = 1 AND is_agree_refund = 0", other_);
    const std::string message =
        firstOf("SELECT news_id FROM messages WHERE engineer_id = ? AND is_read = 0", other_);
    const std::string inquiry = firstOf(
        "SELECT ask_price_id FROM offers WHERE engineer_id = ? AND ask_price_id NOT IN "
        "(SELECT ask_price_id FROM orders)",
        other_);

    struct Case {
        const char* path;
        // The other engineer's ID with his object; then one's own ID with his object, where
        // the endpoint takes an object of his.
        std::string his;
        std::string mineWithHis;
    };
    const Case cases[] = {
        {"AskPrice/AskPriceList", "brisfoldID=" + other_ + "&IsOffer=1", ""},
        {"AskPrice/EngineerPrice",
         "brisfoldID=" + other_ + "&askpriceID=" + inquiry + "&price=1&remark=x", ""},
        {"AskPrice/AskPriceDetail", "engineerID=" + other_ + "&askpriceID=" + inquiry, ""},
        {"Order/OrderList", "brisfoldID=" + other_, ""},
        {"Order/OrderDetail", "brisfoldID=" + other_ + "&OrderID=" + waiting,
         "brisfoldID=" + me_ + "&OrderID=" + waiting},
        {"Order/EngineerStart", "brisfoldID=" + other_ + "&OrderID=" + waiting + "&LeaveAddress=x",
         "brisfoldID=" + me_ + "&OrderID=" + waiting + "&LeaveAddress=x"},
        {"Order/StartImplement",
         "brisfoldID=" + other_ + "&OrderID=" + departed + "&LeaveAddress=x",
         "brisfoldID=" + me_ + "&OrderID=" + departed + "&LeaveAddress=x"},
        {"Order/EngineerFinish", "brisfoldID=" + other_ + "&OrderID=" + working + "&LeaveAddress=x",
         "brisfoldID=" + me_ + "&OrderID=" + working + "&LeaveAddress=x"},
        {"Order/CancelService",
         "brisfoldID=" + other_ + "&orderID=" + cancelled + "&refundPrice=1&reason=x",
         "brisfoldID=" + me_ + "&orderID=" + cancelled + "&refundPrice=1&reason=x"},
        {"NewsCenter/Index", "UserOrEngineerID=" + other_, ""},
        {"NewsCenter/NewsIsRead", "newsID=" + message, "newsID=" + message},
        {"NewsCenter/DeleteNews", "NewsID=" + message, "NewsID=" + message},
        {"Engineer/Logout", "brisfoldID=" + other_, ""},
    };

    std::set<std::string> covered;
    const std::string before = contents();
    for (const auto& c : cases) {
        covered.insert(c.path);
        const auto refused = [&](const std::string& cookie, const std::string& body, int status,
                                 const char* as) {
            const auto result = postWithCookie(cookie, c.path, body);
            ASSERT_TRUE(result) << c.path << " " << as;
            EXPECT_EQ(result->status, status) << c.path << " " << as;
            EXPECT_EQ(test::parseJson(result)["code"], "0") << c.path << " " << as;
            EXPECT_EQ(contents(), before) << c.path << " " << as;
        };
        refused("", c.his, 401, "without a session");
        refused("brisfold_session=" + std::string(64, '0'), c.his, 401, "with a made-up session");
        if (c.his.find(other_) != std::string::npos)
            refused(mine_, c.his, 403, "with one's session and the other's ID");
        if (!c.mineWithHis.empty())
            refused(mine_, c.mineWithHis, 200, "with one's session and the other's object");
    }
    // An endpoint added later must join the table or be public.
    for (const auto& [path, endpoint] : server_->router().endpoints()) {
        if (endpoint.access.kind != ApiAccess::Public) {
            EXPECT_TRUE(covered.contains(path)) << path;
        }
    }
    // Public data stays open.
    for (const std::string path : {"AskPrice/GetDictionary", "AskPrice/GetGoodsName"}) {
        EXPECT_EQ(
            test::parseJson(
                postWithCookie("", path, path.ends_with("Name") ? "Index=GOODSNAME" : "Index=SSHY"))
                .contains("list"),
            true)
            << path;
    }
    EXPECT_EQ(postWithCookie("", "AskPrice/AskPriceDetail", "askpriceID=" + inquiry)->status, 200);
}

TEST_F(SessionsTest, SessionIsAPrivateExpiringCookieKeptOnlyAsAHash) {
    const auto result =
        postWithCookie("", "Engineer/Login",
                       "UserName=zhangwei&PassWord=" + std::string(kSeedEngineers[0].password));
    ASSERT_TRUE(result);
    const std::string cookie = result->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("; HttpOnly"), std::string::npos) << cookie;
    EXPECT_NE(cookie.find("; Max-Age="), std::string::npos) << cookie;
    const std::string session = cookie.substr(0, cookie.find(';'));
    const std::string token = session.substr(session.find('=') + 1);
    EXPECT_GE(token.size(), 32u);

    {
        auto db = open();
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM sessions WHERE token_hash = ? AND "
                            "expires_at > strftime('%s','now')",
                            tokenHash(token)),
                  1);
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM sessions WHERE token_hash = ?", token), 0);
    }
    const std::string list = "brisfoldID=" + me_;
    EXPECT_EQ(postWithCookie(session, "Order/OrderList", list)->status, 200);
    open().run("UPDATE sessions SET expires_at = 0 WHERE token_hash = ?", tokenHash(token));
    EXPECT_EQ(postWithCookie(session, "Order/OrderList", list)->status, 401);
}

TEST_F(SessionsTest, LogoutEndsTheSessionItCarriesAndNoOther) {
    const std::string first = mine_;
    login(kSeedEngineers[0].userName, kSeedEngineers[0].password);
    const std::string second = sessions_[me_];
    ASSERT_NE(first, second);
    const std::string list = "brisfoldID=" + me_;

    const auto result = postWithCookie(first, "Engineer/Logout", list);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(test::parseJson(result)["code"], "1");
    // The cookie is taken back.
    const std::string cookie = result->get_header_value("Set-Cookie");
    EXPECT_EQ(cookie.rfind("brisfold_session=;", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("; Max-Age=0"), std::string::npos) << cookie;
    {
        auto db = open();
        const std::string token = first.substr(first.find('=') + 1);
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM sessions WHERE token_hash = ?", tokenHash(token)),
                  0);
    }

    EXPECT_EQ(postWithCookie(first, "Order/OrderList", list)->status, 401);
    EXPECT_EQ(postWithCookie(first, "Engineer/Logout", list)->status, 401);
    // The engineer's other device and the other engineer stay signed in.
    EXPECT_EQ(postWithCookie(second, "Order/OrderList", list)->status, 200);
    EXPECT_EQ(postWithCookie(sessions_[other_], "Order/OrderList", "brisfoldID=" + other_)->status,
              200);
}

// Hashing a password takes long on purpose; a wrong login held inside it must not hold up
// another engineer's request.
TEST_F(SessionsTest, PasswordChecksHoldNoOneElseUp) {
    testsupport::Gate gate;
    auto options = test::testOptions();
    options.beforePasswordCheck = [&] { gate.pass(); };
    restart(options);
    std::thread wrong([&] { postWithCookie("", "Engineer/Login", "UserName=lina&PassWord=x"); });
    const struct Release {
        testsupport::Gate& gate;
        std::thread& thread;
        ~Release() {
            gate.open();
            thread.join();
        }
    } release{gate, wrong};
    ASSERT_TRUE(testsupport::waitUntil([&] { return gate.waiting() == 1; }));

    EXPECT_EQ(test::statusOf(post("Order/OrderList", "brisfoldID=" + me_)), 200);
    EXPECT_EQ(gate.waiting(), 1u);
}

}  // namespace
}  // namespace devserver

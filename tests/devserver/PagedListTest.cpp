#include <gtest/gtest.h>

#include "PagedList.h"
#include "TempDir.h"

namespace devserver {
namespace {

class PagedListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db_.execute("CREATE TABLE items (id INTEGER, name TEXT, price REAL, note TEXT, kind TEXT)");
        for (int i = 1; i <= 23; ++i) {
            db_.run("INSERT INTO items VALUES (?, ?, ?, NULL, ?)", i,
                    "第" + std::to_string(i) + "项", i * 1.5, i % 2 == 0 ? "even" : "odd");
        }
    }

    nlohmann::json page(const std::string& body, const char* kind = "odd") {
        const auto form = FormBody::parse(body);
        return pagedList(db_, PageRequest::from(*form), "SELECT COUNT(*) FROM items WHERE kind = ?",
                         "SELECT id AS ItemID, name AS Name, price AS Price, note AS Note "
                         "FROM items WHERE kind = ? ORDER BY id",
                         kind);
    }

    testsupport::TempDir dir_;
    Database db_{dir_ / "list.sqlite"};
};

TEST_F(PagedListTest, FirstPageCarriesTotalsAndTypedValues) {
    const auto reply = page("rows=5&pageindex=1");
    EXPECT_EQ(reply["pageindex"], 1);
    EXPECT_EQ(reply["rows"], 5);
    EXPECT_EQ(reply["totalCount"], 12);
    EXPECT_EQ(reply["totalPages"], 3);
    ASSERT_EQ(reply["List"].size(), 5u);
    const auto& first = reply["List"][0];
    EXPECT_EQ(first["ItemID"], 1);
    EXPECT_EQ(first["Name"], "第1项");
    EXPECT_DOUBLE_EQ(first["Price"].get<double>(), 1.5);
    EXPECT_TRUE(first["Note"].is_null());
    EXPECT_EQ(reply["List"][4]["ItemID"], 9);
}

TEST_F(PagedListTest, LastPageIsPartialAndPagesBeyondAreEmpty) {
    const auto last = page("rows=5&pageindex=3");
    ASSERT_EQ(last["List"].size(), 2u);
    EXPECT_EQ(last["List"][0]["ItemID"], 21);
    EXPECT_EQ(last["List"][1]["ItemID"], 23);
    EXPECT_EQ(last["totalPages"], 3);

    const auto beyond = page("rows=5&pageindex=4");
    EXPECT_TRUE(beyond["List"].empty());
    EXPECT_EQ(beyond["totalCount"], 12);

    const auto exact = page("rows=6&pageindex=2");
    EXPECT_EQ(exact["totalPages"], 2);
    EXPECT_EQ(exact["List"].size(), 6u);
}

TEST_F(PagedListTest, EmptyResultAndDefaults) {
    const auto none = page("", "none");
    EXPECT_EQ(none["pageindex"], 1);
    EXPECT_EQ(none["rows"], 10);
    EXPECT_EQ(none["totalCount"], 0);
    EXPECT_EQ(none["totalPages"], 0);
    EXPECT_TRUE(none["List"].is_array());
    EXPECT_TRUE(none["List"].empty());
}

TEST_F(PagedListTest, PageParametersOutOfRangeAreRefused) {
    EXPECT_THROW(page("rows=0"), BadRequest);
    EXPECT_THROW(page("rows=101"), BadRequest);
    EXPECT_THROW(page("pageindex=0"), BadRequest);
    EXPECT_THROW(page("pageindex=-1"), BadRequest);
    EXPECT_THROW(page("pageindex=2x"), BadRequest);
}

}  // namespace
}  // namespace devserver

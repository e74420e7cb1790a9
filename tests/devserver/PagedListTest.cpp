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

TEST_F(PagedListTest, PagesCarryTotalsAndTypedValuesAndOutOfRangeParametersAreRefused) {
    const auto first = page("rows=5&pageindex=1");
    EXPECT_EQ(first["totalCount"], 12);
    EXPECT_EQ(first["totalPages"], 3);
    ASSERT_EQ(first["List"].size(), 5u);
    EXPECT_EQ(first["List"][0]["Name"], "第1项");
    EXPECT_DOUBLE_EQ(first["List"][0]["Price"].get<double>(), 1.5);
    EXPECT_TRUE(first["List"][0]["Note"].is_null());
    EXPECT_EQ(first["List"][4]["ItemID"], 9);
    const auto last = page("rows=5&pageindex=3");
    ASSERT_EQ(last["List"].size(), 2u);
    EXPECT_EQ(last["List"][1]["ItemID"], 23);
    EXPECT_TRUE(page("rows=5&pageindex=4")["List"].empty());
    EXPECT_EQ(page("rows=6&pageindex=2")["totalPages"], 2);

    const auto none = page("", "none");
    EXPECT_EQ(none["rows"], 10);
    EXPECT_EQ(none["totalPages"], 0);
    EXPECT_TRUE(none["List"].is_array() && none["List"].empty());

    for (const char* body : {"rows=0", "rows=101", "pageindex=0", "pageindex=-1", "pageindex=2x"})
        EXPECT_THROW(page(body), BadRequest) << body;
}

}  // namespace
}  // namespace devserver

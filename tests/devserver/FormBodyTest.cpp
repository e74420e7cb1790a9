#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "FormBody.h"
#include "PagedList.h"
#include "TempDir.h"

namespace devserver {
namespace {

TEST(FormBodyTest, ReadsRawEscapedAndOddValuesAlike) {
    const struct {
        const char* body;
        std::map<std::string, std::string> fields;
    } cases[] = {
        {"brisfoldID=42&LeaveAddress=成都市高新区天府大道1号",
         {{"brisfoldID", "42"}, {"LeaveAddress", "成都市高新区天府大道1号"}}},
        {"LeaveAddress=%E6%88%90%E9%83%BD%E5%B8%82+1%E5%8F%B7&reason=a%26b%3Dc%2B1",
         {{"LeaveAddress", "成都市 1号"}, {"reason", "a&b=c+1"}}},
        // Percent signs that start no escape are kept.
        {"reason=涨价50%&price=%zz%4", {{"reason", "涨价50%"}, {"price", "%zz%4"}}},
        {"rows=10&&pageindex=1&lastDateTime=&flag&",
         {{"rows", "10"}, {"pageindex", "1"}, {"lastDateTime", ""}, {"flag", ""}}},
        // Keys that merely look alike are distinct.
        {"a=1&ab=2&A=3&a%2B=4", {{"a", "1"}, {"ab", "2"}, {"A", "3"}, {"a+", "4"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const auto form = FormBody::parse(c.body);
        ASSERT_TRUE(form) << c.body;
        EXPECT_EQ(form->fields().size(), c.fields.size()) << c.body;
        for (const auto& [key, value] : c.fields) EXPECT_EQ(form->optional(key), value) << key;
        EXPECT_FALSE(form->optional("missing"));
    }
}

TEST(FormBodyTest, RefusesBodiesThatCannotBeReadSafely) {
    std::string error;
    // A key given twice, however it is spelled and wherever the second comes.
    const std::pair<const char*, const char*> twice[] = {
        {"UserName=a&UserName=b", "UserName"},
        {"a=1&b=2&c=3&a=4", "a"},
        {"flag&rows=1&flag", "flag"},
        {"key=1&%6Bey=2", "key"},
        {"a+b=1&a%20b=2", "a b"},
        {"名=1&%E5%90%8D=2", "名"},
    };
    for (const auto& [body, key] : twice) {
        error.clear();
        EXPECT_FALSE(FormBody::parse(body, &error)) << body;
        EXPECT_NE(error.find(key), std::string::npos) << body << ": " << error;
    }
    // An empty name, bytes that are no UTF-8, an overlong '/', a NUL and a cut-off character.
    for (const char* body :
         {"=value", "name=\xff\xfe", "name=%C0%AF", "name=a%00b", "name=\xe6\x88"}) {
        error.clear();
        EXPECT_FALSE(FormBody::parse(body, &error)) << body;
        EXPECT_FALSE(error.empty()) << body;
    }
}

// The tip of a missing field is checked through the login.
TEST(FormBodyTest, RequiredAndIntegerFieldsRefuseWhatIsWrong) {
    const auto form = FormBody::parse("UserName=&rows=abc&pageindex=3&big=99999999999999999999");
    ASSERT_TRUE(form);
    EXPECT_THROW((void)form->required("UserName"), BadRequest);
    EXPECT_THROW((void)form->required("PassWord"), BadRequest);
    EXPECT_THROW((void)form->integer("rows", 10, 1, 100), BadRequest);
    EXPECT_THROW((void)form->integer("big", 1, 1, 100), BadRequest);
    EXPECT_THROW((void)form->integer("pageindex", 1, 1, 2), BadRequest);
    EXPECT_EQ(form->integer("pageindex", 1, 1, 100), 3);
    EXPECT_EQ(form->integer("absent", 7, 1, 100), 7);
}

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

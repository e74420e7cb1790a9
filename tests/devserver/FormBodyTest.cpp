#include <gtest/gtest.h>

#include <map>
#include <string>

#include "FormBody.h"

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
    EXPECT_FALSE(FormBody::parse("UserName=a&UserName=b", &error));
    EXPECT_NE(error.find("UserName"), std::string::npos);
    // An empty name, bytes that are no UTF-8, an overlong '/', a NUL and a cut-off character.
    for (const char* body :
         {"=value", "name=\xff\xfe", "name=%C0%AF", "name=a%00b", "name=\xe6\x88"}) {
        error.clear();
        EXPECT_FALSE(FormBody::parse(body, &error)) << body;
        EXPECT_FALSE(error.empty()) << body;
    }
}

TEST(FormBodyTest, RequiredAndIntegerFieldsExplainWhatIsWrong) {
    const auto form = FormBody::parse("UserName=&rows=abc&pageindex=3&big=99999999999999999999");
    ASSERT_TRUE(form);
    try {
        (void)form->required("UserName");
        FAIL() << "an empty required field was accepted";
    } catch (const BadRequest& bad) {
        EXPECT_EQ(bad.tip, "缺少参数: UserName");
    }
    EXPECT_THROW((void)form->required("PassWord"), BadRequest);
    EXPECT_THROW((void)form->integer("rows", 10, 1, 100), BadRequest);
    EXPECT_THROW((void)form->integer("big", 1, 1, 100), BadRequest);
    EXPECT_THROW((void)form->integer("pageindex", 1, 1, 2), BadRequest);
    EXPECT_EQ(form->integer("pageindex", 1, 1, 100), 3);
    EXPECT_EQ(form->integer("absent", 7, 1, 100), 7);
}

}  // namespace
}  // namespace devserver

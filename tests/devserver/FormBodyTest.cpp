#include <gtest/gtest.h>

#include "FormBody.h"

namespace devserver {
namespace {

TEST(FormBodyTest, ReadsRawChineseAndEscapedValuesAlike) {
    const auto raw = FormBody::parse("brisfoldID=42&LeaveAddress=成都市高新区天府大道1号");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->required("brisfoldID"), "42");
    EXPECT_EQ(raw->required("LeaveAddress"), "成都市高新区天府大道1号");

    const auto escaped =
        FormBody::parse("LeaveAddress=%E6%88%90%E9%83%BD%E5%B8%82+1%E5%8F%B7&reason=a%26b%3Dc%2B1");
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->required("LeaveAddress"), "成都市 1号");
    EXPECT_EQ(escaped->required("reason"), "a&b=c+1");
}

TEST(FormBodyTest, KeepsPercentSignsThatStartNoEscape) {
    const auto form = FormBody::parse("reason=涨价50%&price=%zz%4");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->required("reason"), "涨价50%");
    EXPECT_EQ(form->required("price"), "%zz%4");
}

TEST(FormBodyTest, EmptyValuesAndPiecesAreTolerated) {
    const auto form = FormBody::parse("rows=10&&pageindex=1&lastDateTime=&flag&");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->fields().size(), 4u);
    EXPECT_EQ(form->optional("lastDateTime"), "");
    EXPECT_EQ(form->optional("flag"), "");
    EXPECT_FALSE(form->optional("missing"));
    EXPECT_TRUE(FormBody::parse("") && FormBody::parse("")->fields().empty());
}

TEST(FormBodyTest, RefusesBodiesThatCannotBeReadSafely) {
    std::string error;
    EXPECT_FALSE(FormBody::parse("UserName=a&UserName=b", &error));
    EXPECT_NE(error.find("UserName"), std::string::npos);
    EXPECT_FALSE(FormBody::parse("=value", &error));
    EXPECT_FALSE(FormBody::parse("name=\xff\xfe", &error));
    EXPECT_FALSE(FormBody::parse("name=%C0%AF", &error));  // overlong '/'
    EXPECT_FALSE(FormBody::parse("name=a%00b", &error));
    EXPECT_FALSE(FormBody::parse("name=\xe6\x88", &error));  // cut-off character
    EXPECT_FALSE(error.empty());
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

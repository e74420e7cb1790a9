#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>

#include "Foundation/JSONValue.h"
#include "Foundation/NSJSONSerialization.h"
#include "Foundation/NSPropertyListSerialization.h"

namespace {

using nlohmann::json;

TEST(JSONSerializationTest, ParsesContainersAndFragmentsOnRequestAndDamageGivesError3840) {
    auto object = NSJSONSerialization::JSONObjectWithData(R"({"code":"0","list":[1,2.5]})");
    ASSERT_TRUE(object);
    EXPECT_EQ((*object)["list"][1], 2.5);

    NSError error;
    EXPECT_FALSE(NSJSONSerialization::JSONObjectWithData("\"text\"", 0, &error));
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_EQ(error.code, 3840);
    auto fragment =
        NSJSONSerialization::JSONObjectWithData("\"text\"", NSJSONReadingFragmentsAllowed);
    ASSERT_TRUE(fragment);
    EXPECT_EQ(*fragment, "text");

    const std::string damaged[] = {
        "", "{", "{\"a\":}", "[1,2", "nul", "{\"a\":1}}", std::string(100000, '[')};
    for (const auto& text : damaged) {
        NSError error;
        EXPECT_FALSE(
            NSJSONSerialization::JSONObjectWithData(text, NSJSONReadingFragmentsAllowed, &error))
            << text.substr(0, 20);
        EXPECT_EQ(error.domain, NSCocoaErrorDomain);
        EXPECT_EQ(error.code, 3840);
        EXPECT_FALSE(error.userInfo.value("NSDebugDescription", "").empty());
    }
}

TEST(JSONSerializationTest, WritesCompactAndRefusesValuesWithoutJsonForm) {
    auto text = NSJSONSerialization::dataWithJSONObject(
        json{{"b", json::array({1, 2.5, "x/y"})}, {"a", nullptr}});
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, R"({"a":null,"b":[1,2.5,"x/y"]})");

    const json refused[] = {json::array({json::binary(NSData{1})}),
                            json::array({std::numeric_limits<double>::infinity()}),
                            json::array({std::string("\xff\xfe")}), json(5)};
    for (const json& value : refused) {
        NSError error;
        EXPECT_FALSE(NSJSONSerialization::dataWithJSONObject(value, 0, &error));
        EXPECT_EQ(error.code, 3852);
        EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(value));
    }
    EXPECT_EQ(NSJSONSerialization::dataWithJSONObject(json(5), NSJSONWritingFragmentsAllowed), "5");
}

// Dates past the calendar print their seconds; a missing key is nil, a null value null.
TEST(DescribeTest, ScalarsDatesAndMissingKeysPrintAsThePlatformPrintsThem) {
    const std::pair<json, const char*> cases[] = {
        {"数据不存在", "数据不存在"},
        {-7, "-7"},
        {3.0, "3"},
        {0.1, "0.1"},
        {nullptr, "<null>"},
        {true, "1"},
        {json::binary(NSData{1, 2, 3, 4, 0xAB}), "<01020304 ab>"},
        {NSPropertyListDate(0), "1970-01-01 00:00:00 +0000"},
        {NSPropertyListDate(253402300799.5), "9999-12-31 23:59:59 +0000"},
        {NSPropertyListDate(253402300800), "253402300800"},
        {NSPropertyListDate(1e300), "1e+300"},
        {NSPropertyListDate(-1e300), "-1e+300"},
        {NSPropertyListDate(std::numeric_limits<double>::infinity()), "inf"},
        {NSPropertyListDate(std::numeric_limits<double>::quiet_NaN()), "nan"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(describe(value), text);
    const json reply = {{"code", 0}, {"msg", nullptr}};
    EXPECT_EQ(describeValueForKey(reply, "code"), "0");
    EXPECT_EQ(describeValueForKey(reply, "msg"), "<null>");
    EXPECT_EQ(describeValueForKey(reply, "data"), "(null)");
    EXPECT_EQ(describeValueForKey(json::array(), "code"), "(null)");
}

TEST(DescribeTest, ContainersUseThePlatformLayout) {
    EXPECT_EQ(describe(json::array()), "(\n)");
    EXPECT_EQ(describe(json::object()), "{\n}");
    EXPECT_EQ(describe(json::array({1, "two words", json::array({2, 3})})),
              "(\n"
              "    1,\n"
              "    \"two words\",\n"
              "        (\n"
              "        2,\n"
              "        3\n"
              "    )\n"
              ")");
    EXPECT_EQ(describe(json{{"code", "0"}, {"msg", ""}, {"data", {{"id", 5}}}, {"n", nullptr}}),
              "{\n"
              "    code = 0;\n"
              "    data =     {\n"
              "        id = 5;\n"
              "    };\n"
              "    msg = \"\";\n"
              "    n = \"<null>\";\n"
              "}");
}

TEST(IntegerValueTest, ReadsNumbersAndNumericStrings) {
    EXPECT_EQ(integerValue(json(-3.9)), -3);
    EXPECT_EQ(integerValue(json(true)), 1);
    EXPECT_EQ(integerValue(json("  -7 apples")), -7);
    EXPECT_EQ(integerValue(json("+8")), 8);
    EXPECT_EQ(integerValue(json("abc")), 0);
    EXPECT_EQ(integerValue(json()), 0);
    EXPECT_EQ(integerValue(json::array({5})), 0);
    EXPECT_EQ(integerValue(json("99999999999999999999")), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(integerValue(json("-99999999999999999999")),
              std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(integerValue(json(1e300)), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(integerValue(json(std::numeric_limits<std::uint64_t>::max())),
              std::numeric_limits<std::int64_t>::max());
}

}  // namespace

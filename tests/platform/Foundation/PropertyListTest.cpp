#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Foundation/NSPropertyListSerialization.h"
#include "Foundation/PlistNode.h"

namespace {

using nlohmann::json;

json sampleValue() {
    return json{
        {"name", "北京 维修单"},
        {"count", -42},
        {"big", std::int64_t{9000000000}},
        {"ratio", 0.5},
        {"whole", 3.0},
        {"on", true},
        {"off", false},
        {"blob", json::binary(NSData{0, 1, 2, 0xFF})},
        {"when", NSPropertyListDate(1700000000)},
        {"list", json::array({1, "two", json::array({3.5}), json::object()})},
        {"nested", {{"empty", ""}, {"deeper", {{"x", 1}}}}},
    };
}

TEST(PropertyListTest, RoundTripPreservesEveryTypeInBothFormats) {
    const json value = sampleValue();
    for (const auto written : {NSPropertyListXMLFormat_v1_0, NSPropertyListBinaryFormat_v1_0}) {
        SCOPED_TRACE(written);
        NSError error;
        auto data = NSPropertyListSerialization::dataWithPropertyList(value, written, &error);
        ASSERT_TRUE(data) << error.userInfo.dump();
        NSPropertyListFormat format{};
        auto back = NSPropertyListSerialization::propertyListWithData(*data, &format, &error);
        ASSERT_TRUE(back) << error.userInfo.dump();
        EXPECT_EQ(format, written);
        EXPECT_EQ(*back, value);
        // A double stays a double and an integer an integer, data stays data, a date a date.
        EXPECT_TRUE((*back)["whole"].is_number_float());
        EXPECT_TRUE((*back)["count"].is_number_integer());
        EXPECT_FALSE(NSPropertyListIsDate((*back)["blob"]));
        EXPECT_DOUBLE_EQ(NSPropertyListDateSeconds((*back)["when"]), 1700000000);
    }
}

TEST(PropertyListTest, ReadsHandWrittenXmlAndBinaryDatesKeepFractionsXmlDatesWholeSeconds) {
    const json value = json::array({NSPropertyListDate(1700000000.25)});
    auto binary =
        NSPropertyListSerialization::dataWithPropertyList(value, NSPropertyListBinaryFormat_v1_0);
    auto xml =
        NSPropertyListSerialization::dataWithPropertyList(value, NSPropertyListXMLFormat_v1_0);
    ASSERT_TRUE(binary && xml);
    EXPECT_NE(NSStringFromData(*xml).find("<date>2023-11-14T22:13:20Z</date>"), std::string::npos);
    auto fromBinary = NSPropertyListSerialization::propertyListWithData(*binary);
    auto fromXml = NSPropertyListSerialization::propertyListWithData(*xml);
    ASSERT_TRUE(fromBinary && fromXml);
    EXPECT_DOUBLE_EQ(NSPropertyListDateSeconds((*fromBinary)[0]), 1700000000.25);
    EXPECT_DOUBLE_EQ(NSPropertyListDateSeconds((*fromXml)[0]), 1700000000);

    // Dates before 2001 keep their fractions too: 2000, 1969 and 1947.
    for (const double seconds : {946684800.75, -1.5, -721692800.3359375}) {
        const auto data = NSPropertyListSerialization::dataWithPropertyList(
            json::array({NSPropertyListDate(seconds)}), NSPropertyListBinaryFormat_v1_0);
        ASSERT_TRUE(data);
        const auto back = NSPropertyListSerialization::propertyListWithData(*data);
        ASSERT_TRUE(back);
        EXPECT_NEAR(NSPropertyListDateSeconds((*back)[0]), seconds, 1e-6);
    }

    const std::string handWritten = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<array>
  <dict>
    <key>title</key><string>首页</string>
    <key>tag</key><integer>7</integer>
    <key>scale</key><real>2.5</real>
    <key>raw</key><data>AAEC</data>
    <key>at</key><date>2001-01-01T00:01:00Z</date>
    <key>hidden</key><false/>
  </dict>
</array>
</plist>)";
    auto read = NSPropertyListSerialization::propertyListWithData(NSDataFromString(handWritten));
    ASSERT_TRUE(read);
    json item = (*read)[0];
    EXPECT_DOUBLE_EQ(NSPropertyListDateSeconds(item["at"]), 978307260.0);
    item.erase("at");
    EXPECT_EQ(item, (json{{"title", "首页"},
                          {"tag", 7},
                          {"scale", 2.5},
                          {"raw", json::binary(NSData{0, 1, 2})},
                          {"hidden", false}}));
}

TEST(PropertyListTest, RefusesValuesWithoutPropertyListForm) {
    const json refused[] = {
        json{{"a", nullptr}},
        json::array({std::numeric_limits<std::uint64_t>::max()}),
        json::array({std::numeric_limits<double>::quiet_NaN()}),
        json{{"a", std::string("x\0y", 3)}},
        // Text that is not UTF-8 would be cut where it stops being text.
        json{{"a",
              "na\xDE"
              "e"}},
        json{{"na\xDE"
              "e",
              1}},
    };
    for (const json& value : refused) {
        NSError error;
        EXPECT_FALSE(NSPropertyListSerialization::dataWithPropertyList(
            value, NSPropertyListBinaryFormat_v1_0, &error))
            << value.dump(-1, ' ', false, json::error_handler_t::replace);
        EXPECT_EQ(error.domain, NSCocoaErrorDomain);
        EXPECT_EQ(error.code, NSPropertyListWriteInvalidError);
        EXPECT_FALSE(NSPropertyListSerialization::propertyListIsValidForFormat(
            value, NSPropertyListXMLFormat_v1_0));
    }
}

// A binary property list from raw objects: one-byte offsets are not enough for long chains, so
// offsets take four bytes and references two.
NSData binaryPlist(const std::vector<NSData>& objects, std::uint64_t top = 0) {
    NSData out = NSDataFromString("bplist00");
    std::vector<std::uint32_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), object.begin(), object.end());
    }
    const std::uint64_t tableOffset = out.size();
    for (const std::uint32_t offset : offsets)
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back((offset >> shift) & 0xFF);
    NSData trailer(32, 0);
    trailer[6] = 4;
    trailer[7] = 2;
    auto put = [&](size_t at, std::uint64_t v) {
        for (int i = 0; i < 8; ++i)
            trailer[at + static_cast<size_t>(i)] = (v >> (56 - 8 * i)) & 0xFF;
    };
    put(8, objects.size());
    put(16, top);
    put(24, tableOffset);
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

NSData arrayOf(std::initializer_list<std::uint16_t> refs) {
    NSData object{static_cast<std::uint8_t>(0xA0 | refs.size())};
    for (const auto ref : refs) {
        object.push_back(ref >> 8);
        object.push_back(ref & 0xFF);
    }
    return object;
}

TEST(PropertyListTest, DamagedInputGivesErrorsNotCrashes) {
    // The hand-built form reads when whole, so the damage below is what fails.
    EXPECT_EQ(NSPropertyListSerialization::propertyListWithData(
                  binaryPlist({arrayOf({1, 1}), NSData{0x10, 0x05}})),
              json::array({5, 5}));
    std::vector<NSData> damaged;
    damaged.push_back({});
    damaged.push_back(NSDataFromString("not a plist at all"));
    damaged.push_back(NSDataFromString("bplist00"));
    // An array that contains itself.
    damaged.push_back(binaryPlist({arrayOf({0})}));
    // A reference past the object table.
    damaged.push_back(binaryPlist({arrayOf({7})}));
    // A top object past the table.
    damaged.push_back(binaryPlist({NSData{0x10, 0x01}}, 3));
    // 5000 nested arrays.
    std::vector<NSData> chain;
    for (std::uint16_t i = 0; i < 5000; ++i)
        chain.push_back(arrayOf({static_cast<std::uint16_t>(i + 1)}));
    chain.push_back(NSData{0x10, 0x01});
    damaged.push_back(binaryPlist(chain));
    // Every level referring twice to the next expands to 2^40 nodes.
    std::vector<NSData> doubling;
    for (std::uint16_t i = 0; i < 40; ++i)
        doubling.push_back(
            arrayOf({static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(i + 1)}));
    doubling.push_back(NSData{0x10, 0x01});
    damaged.push_back(binaryPlist(doubling));
    // Strings holding NUL, in binary (ASCII and UTF-16) and in XML.
    damaged.push_back(binaryPlist({NSData{0x53, 'a', 0x00, 'b'}}));
    damaged.push_back(binaryPlist({NSData{0x62, 0x00, 'a', 0x00, 0x00}}));
    const char nulXml[] = "<plist><dict><key>k</key><string>a\0b</string></dict></plist>";
    damaged.emplace_back(nulXml, nulXml + sizeof nulXml - 1);
    // Strings and keys that are not UTF-8, in binary and in XML.
    damaged.push_back(binaryPlist({NSData{0x54, 'n', 'a', 0xDE, 'e'}}));
    damaged.push_back(binaryPlist({NSData{0xD1, 0x00, 0x01, 0x00, 0x02},
                                   NSData{0x54, 'n', 'a', 0xDE, 'e'}, NSData{0x10, 0x01}}));
    damaged.push_back(NSDataFromString("<plist><string>a\xC3\x28</string></plist>"));
    damaged.push_back(NSDataFromString("<plist><dict><key>\xFF</key><true/></dict></plist>"));
    // Deeply nested XML.
    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    damaged.push_back(NSDataFromString(deep));

    for (const NSData& data : damaged) {
        NSError error;
        EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(data, nullptr, &error));
        EXPECT_EQ(error.domain, NSCocoaErrorDomain);
        EXPECT_EQ(error.code, NSPropertyListReadCorruptError);
    }
}

TEST(PropertyListTest, NestingCountsEveryOpeningTagByItsName) {
    // 200,000 levels: more than any stack holds when the tree is read or freed level by level.
    constexpr int kLevels = 200000;
    struct Spelling {
        std::string open, close;
    };
    const Spelling spellings[] = {
        {"<array >", "</array>"},           {"<array\t>", "</array >"},
        {"<array\r\n>", "</array\n>"},      {"<array id=\"x\">", "</array>"},
        {"<dict ><key>k</key>", "</dict>"}, {"<array>", "</array>"},
    };
    for (const Spelling& spelling : spellings) {
        SCOPED_TRACE(spelling.open);
        std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
        xml.reserve(xml.size() + kLevels * (spelling.open.size() + spelling.close.size()) + 16);
        for (int i = 0; i < kLevels; ++i) xml += spelling.open;
        xml += "<true/>";
        for (int i = 0; i < kLevels; ++i) xml += spelling.close;
        xml += "</plist>";
        NSError error;
        EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(NSDataFromString(xml),
                                                                       nullptr, &error));
        EXPECT_EQ(error.code, NSPropertyListReadCorruptError);
    }
    // Stray closing tags do not make room for deeper nesting after them.
    std::string xml = "<plist>";
    for (int i = 0; i < 1000; ++i) xml += "</array>";
    for (int i = 0; i < 1000; ++i) xml += "<array>";
    EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(NSDataFromString(xml)));
}

TEST(PropertyListTest, TreesOfAnyDepthAreFreed) {
    // Chains of arrays and dictionaries under one root, each wide where a piece is cut off.
    constexpr int kLevels = 300000;
    plist_t root = plist_new_array();
    plist_t deepest = nullptr;
    for (int chain = 0; chain < 2; ++chain) {
        plist_t node = plist_new_array();
        plist_array_append_item(root, node);
        for (int level = 0; level < kLevels; ++level) {
            plist_t child = level % 2 ? plist_new_array() : plist_new_dict();
            if (level == 510) {
                for (int i = 0; i < 1000; ++i) plist_array_append_item(node, plist_new_bool(1));
            }
            if (plist_get_node_type(node) == PLIST_ARRAY) {
                plist_array_append_item(node, child);
            } else {
                plist_dict_set_item(node, "k", child);
            }
            node = child;
        }
        deepest = node;
    }
    int depth = 0;
    for (plist_t node = deepest; node != root; node = plist_get_parent(node)) ++depth;
    ASSERT_EQ(depth, kLevels + 1);
    // A free that recursed once per level would overflow the stack here.
    plistnode::Ptr tree(root);
}

TEST(PropertyListTest, EveryTruncationIsHandled) {
    for (const auto format : {NSPropertyListBinaryFormat_v1_0, NSPropertyListXMLFormat_v1_0}) {
        auto data = NSPropertyListSerialization::dataWithPropertyList(sampleValue(), format);
        ASSERT_TRUE(data);
        for (size_t length = 0; length < data->size(); ++length) {
            NSError error;
            const NSData cut(data->begin(), data->begin() + static_cast<long>(length));
            auto value = NSPropertyListSerialization::propertyListWithData(cut, nullptr, &error);
            // A cut inside the XML epilogue may still be a whole document; anything else fails.
            if (value) {
                EXPECT_EQ(format, NSPropertyListXMLFormat_v1_0);
            } else {
                EXPECT_EQ(error.code, NSPropertyListReadCorruptError);
            }
        }
    }
}

}  // namespace

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/JSONValue.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSPropertyListSerialization.h"

namespace {

using nlohmann::json;

// A catalogue-like class tree: items, cities that add a code, and a package holding cities and
// one extra item.
class TestItem : public NSObject, public NSCoding {
  public:
    std::string name;
    std::int64_t size = 0;
    std::int32_t status = 0;
    double ratio = 0;
    bool installed = false;

    std::vector<std::string> classNamesForCoder() const override { return {"VMOfflineItem"}; }
    void encodeWithCoder(NSKeyedArchiver& coder) const override {
        coder.encodeObject(name, "name");
        coder.encodeInt64(size, "size");
        coder.encodeInt32(status, "itemStatus");
        coder.encodeDouble(ratio, "ratio");
        coder.encodeBool(installed, "installed");
    }
    void decodeFields(NSKeyedUnarchiver& coder) {
        const json text = coder.decodeObject("name");
        name = text.is_string() ? text.get<std::string>() : "";
        size = coder.decodeInt64("size");
        status = coder.decodeInt32("itemStatus");
        ratio = coder.decodeDouble("ratio");
        installed = coder.decodeBool("installed");
    }
    static std::shared_ptr<TestItem> createWithCoder(NSKeyedUnarchiver& coder) {
        auto item = std::make_shared<TestItem>();
        item->decodeFields(coder);
        return item;
    }
};

class TestCity : public TestItem {
  public:
    std::string cityCode;
    std::vector<std::string> classNamesForCoder() const override {
        return {"VMOfflineCity", "VMOfflineItem", "NSObject"};
    }
    void encodeWithCoder(NSKeyedArchiver& coder) const override {
        TestItem::encodeWithCoder(coder);
        coder.encodeObject(cityCode, "citycode");
    }
    static std::shared_ptr<TestCity> createWithCoder(NSKeyedUnarchiver& coder) {
        auto city = std::make_shared<TestCity>();
        city->decodeFields(coder);
        city->cityCode = coder.decodeObject("citycode").get<std::string>();
        return city;
    }
};

class TestPackage : public NSObject, public NSCoding {
  public:
    std::string version;
    std::vector<std::shared_ptr<TestCity>> cities;
    std::shared_ptr<TestItem> other;
    std::vector<std::string> classNamesForCoder() const override { return {"VMOfflinePackage"}; }
    void encodeWithCoder(NSKeyedArchiver& coder) const override {
        coder.encodeObject(version, "version");
        coder.encodeObject(cities, "cities");
        coder.encodeObject(other, "other");
    }
    static std::shared_ptr<TestPackage> createWithCoder(NSKeyedUnarchiver& coder) {
        auto package = std::make_shared<TestPackage>();
        package->version = coder.decodeObject("version").get<std::string>();
        package->cities = coder.decodeArrayOfObjectsOfClass<TestCity>("cities");
        package->other = coder.decodeObjectOfClass<TestItem>("other");
        return package;
    }
};

// Holds itself when asked to, to check that cycles are refused.
class TestNode : public NSObject, public NSCoding {
  public:
    std::shared_ptr<TestNode> child;
    std::vector<std::string> classNamesForCoder() const override { return {"TestNode"}; }
    void encodeWithCoder(NSKeyedArchiver& coder) const override {
        coder.encodeObject(child, "child");
    }
    static std::shared_ptr<TestNode> createWithCoder(NSKeyedUnarchiver& coder) {
        auto node = std::make_shared<TestNode>();
        node->child = coder.decodeObjectOfClass<TestNode>("child");
        return node;
    }
};

std::shared_ptr<TestCity> city(const std::string& name, const std::string& code,
                               std::int32_t status) {
    auto c = std::make_shared<TestCity>();
    c->name = name;
    c->cityCode = code;
    c->status = status;
    c->size = 5'000'000'000;
    c->ratio = 0.25;
    c->installed = status == 2;
    return c;
}

std::shared_ptr<TestPackage> samplePackage() {
    auto package = std::make_shared<TestPackage>();
    package->version = "10";
    package->cities = {city("广州市", "020", 2), city("深圳市", "0755", 1)};
    package->other = std::make_shared<TestItem>();
    package->other->name = "全国概要图";
    package->other->status = 3;
    return package;
}

void registerCatalogue(NSKeyedUnarchiver& coder) {
    coder.setClass(NSKeyedUnarchiver::factoryFor<TestItem>(), "VMOfflineItem");
    coder.setClass(NSKeyedUnarchiver::factoryFor<TestCity>(), "VMOfflineCity");
    coder.setClass(NSKeyedUnarchiver::factoryFor<TestPackage>(), "VMOfflinePackage");
}

struct PlistFree {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

PlistPtr parseRaw(const NSData& data) {
    plist_t node = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(data.data()), static_cast<uint32_t>(data.size()),
                   &node);
    return PlistPtr(node);
}

std::string rawString(plist_t node) {
    char* text = nullptr;
    plist_get_string_val(node, &text);
    std::string out = text ? text : "";
    std::free(text);
    return out;
}

// The entry of $objects that a UID node refers to.
plist_t referenced(plist_t objects, plist_t uidNode) {
    std::uint64_t uid = 0;
    plist_get_uid_val(uidNode, &uid);
    return plist_array_get_item(objects, static_cast<uint32_t>(uid));
}

plist_t dictOf(std::initializer_list<std::pair<const char*, plist_t>> items) {
    plist_t dict = plist_new_dict();
    for (const auto& [key, value] : items) plist_dict_set_item(dict, key, value);
    return dict;
}

plist_t uidArray(std::initializer_list<std::uint64_t> uids) {
    plist_t array = plist_new_array();
    for (const auto uid : uids) plist_array_append_item(array, plist_new_uid(uid));
    return array;
}

// $objects of a hand-made archive: "$null", then the entries.
plist_t objectList(std::initializer_list<plist_t> entries) {
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    for (plist_t entry : entries) plist_array_append_item(objects, entry);
    return objects;
}

// A hand-made archive: $objects as given, $top {"root": UID(rootUid)}.
NSData craftArchive(plist_t objects, std::uint64_t rootUid) {
    PlistPtr root(dictOf({{"$archiver", plist_new_string("NSKeyedArchiver")},
                          {"$version", plist_new_uint(100000)},
                          {"$top", dictOf({{"root", plist_new_uid(rootUid)}})},
                          {"$objects", objects}}));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    NSData data(bytes, bytes + length);
    plist_to_bin_free(bytes);
    return data;
}

plist_t classEntry(const char* name) {
    plist_t classes = plist_new_array();
    plist_array_append_item(classes, plist_new_string(name));
    plist_array_append_item(classes, plist_new_string("NSObject"));
    return dictOf({{"$classname", plist_new_string(name)}, {"$classes", classes}});
}

TEST(KeyedArchiverTest, PlainValuesRoundTrip) {
    const json value = {
        {"name", "维修"},
        {"small", -5},
        {"large", std::int64_t{1} << 40},
        {"ratio", 2.5},
        {"flag", true},
        {"bytes", json::binary(NSData{9, 8, 7})},
        {"when", NSPropertyListDate(1700000000.5)},
        {"none", nullptr},
        {"list", json::array({1, "x", json::array({false}), json{{"k", json::array()}}})},
    };
    NSError error;
    auto data = NSKeyedArchiver::archivedDataWithRootObject(value, &error);
    ASSERT_TRUE(data) << error.userInfo.dump();
    auto back = NSKeyedUnarchiver::unarchiveObjectWithData(*data, &error);
    ASSERT_TRUE(back) << error.userInfo.dump();
    EXPECT_EQ(*back, value);
}

TEST(KeyedArchiverTest, WritesTheKeyedArchiveLayout) {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(json{{"a", "b"}});
    ASSERT_TRUE(data);
    PlistPtr root = parseRaw(*data);
    ASSERT_TRUE(root);
    EXPECT_EQ(rawString(plist_dict_get_item(root.get(), "$archiver")), "NSKeyedArchiver");
    std::uint64_t version = 0;
    plist_get_uint_val(plist_dict_get_item(root.get(), "$version"), &version);
    EXPECT_EQ(version, 100000u);
    plist_t objects = plist_dict_get_item(root.get(), "$objects");
    EXPECT_EQ(rawString(plist_array_get_item(objects, 0)), "$null");
    plist_t top = plist_dict_get_item(root.get(), "$top");
    plist_t dict = referenced(objects, plist_dict_get_item(top, "root"));
    plist_t keys = plist_dict_get_item(dict, "NS.keys");
    plist_t members = plist_dict_get_item(dict, "NS.objects");
    ASSERT_EQ(plist_array_get_size(keys), 1u);
    EXPECT_EQ(rawString(referenced(objects, plist_array_get_item(keys, 0))), "a");
    EXPECT_EQ(rawString(referenced(objects, plist_array_get_item(members, 0))), "b");
    plist_t cls = referenced(objects, plist_dict_get_item(dict, "$class"));
    EXPECT_EQ(rawString(plist_dict_get_item(cls, "$classname")), "NSDictionary");
    plist_t classes = plist_dict_get_item(cls, "$classes");
    ASSERT_EQ(plist_array_get_size(classes), 2u);
    EXPECT_EQ(rawString(plist_array_get_item(classes, 1)), "NSObject");
}

TEST(KeyedArchiverTest, CodedObjectsRoundTripWithClassHierarchy) {
    auto package = samplePackage();
    NSError error;
    auto data = NSKeyedArchiver::archivedDataWithRootObject(package, &error);
    ASSERT_TRUE(data) << error.userInfo.dump();

    auto coder = NSKeyedUnarchiver::unarchiverWithData(*data, &error);
    ASSERT_TRUE(coder);
    registerCatalogue(*coder);
    auto back = coder->decodeObjectOfClass<TestPackage>("root");
    ASSERT_FALSE(coder->error()) << coder->error()->userInfo.dump();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->version, "10");
    ASSERT_EQ(back->cities.size(), 2u);
    EXPECT_EQ(back->cities[1]->name, "深圳市");
    EXPECT_EQ(back->cities[1]->cityCode, "0755");
    EXPECT_EQ(back->cities[1]->status, 1);
    EXPECT_EQ(back->cities[1]->size, 5'000'000'000);
    EXPECT_DOUBLE_EQ(back->cities[0]->ratio, 0.25);
    EXPECT_TRUE(back->cities[0]->installed);
    EXPECT_EQ(back->other->name, "全国概要图");
    EXPECT_EQ(back->other->status, 3);

    // The city's class entry lists its superclasses.
    PlistPtr root = parseRaw(*data);
    plist_t objects = plist_dict_get_item(root.get(), "$objects");
    bool found = false;
    for (uint32_t i = 0; i < plist_array_get_size(objects); ++i) {
        plist_t entry = plist_array_get_item(objects, i);
        plist_t name = plist_get_node_type(entry) == PLIST_DICT
                           ? plist_dict_get_item(entry, "$classname")
                           : nullptr;
        if (!name || rawString(name) != "VMOfflineCity") continue;
        found = true;
        plist_t classes = plist_dict_get_item(entry, "$classes");
        ASSERT_EQ(plist_array_get_size(classes), 3u);
        EXPECT_EQ(rawString(plist_array_get_item(classes, 1)), "VMOfflineItem");
        EXPECT_EQ(rawString(plist_array_get_item(classes, 2)), "NSObject");
    }
    EXPECT_TRUE(found);
}

TEST(KeyedArchiverTest, ClassNamesMapAtEncodeAndDecodeTime) {
    auto c = city("北京市", "010", 2);
    auto data = NSKeyedArchiver::archivedDataWithRootObject(c);
    ASSERT_TRUE(data);
    auto coder = NSKeyedUnarchiver::unarchiverWithData(*data);
    ASSERT_TRUE(coder);
    // Read as a plain item, as an old record would be.
    coder->setClass(NSKeyedUnarchiver::factoryFor<TestItem>(), "VMOfflineCity");
    auto old = coder->decodeObjectOfClass<TestItem>("root");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->name, "北京市");

    NSKeyedArchiver archiver;
    archiver.setClassName("VMOfflineCityAggregate", "VMOfflineCity");
    archiver.encodeObject(c, "root");
    auto renamed = archiver.finish();
    ASSERT_TRUE(renamed);
    NSError error;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectOfClass<TestCity>(*renamed, &error));
    EXPECT_EQ(error.code, NSCoderReadCorruptError);
    NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<TestCity>(),
                                       "VMOfflineCityAggregate");
    NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<TestItem>(), "VMOfflineItem");
    auto back = NSKeyedUnarchiver::unarchiveObjectOfClass<TestCity>(*renamed, &error);
    NSKeyedUnarchiver::setDefaultClass({}, "VMOfflineCityAggregate");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->cityCode, "010");
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectOfClass<TestCity>(*renamed, &error));
}

TEST(KeyedArchiverTest, SharedObjectsStaySharedAndACycleIsRefused) {
    auto item = std::make_shared<TestItem>();
    item->name = "shared";
    NSKeyedArchiver archiver;
    archiver.encodeObject(item, "first");
    archiver.encodeObject(item, "second");
    archiver.encodeObject("$value", "$key");
    auto data = archiver.finish();
    ASSERT_TRUE(data);
    auto coder = NSKeyedUnarchiver::unarchiverWithData(*data);
    ASSERT_TRUE(coder);
    coder->setClass(NSKeyedUnarchiver::factoryFor<TestItem>(), "VMOfflineItem");
    auto first = coder->decodeObjectOfClass<TestItem>("first");
    auto second = coder->decodeObjectOfClass<TestItem>("second");
    ASSERT_TRUE(first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(coder->decodeObject("$key"), "$value");
    EXPECT_TRUE(coder->containsValueForKey("first"));
    EXPECT_FALSE(coder->containsValueForKey("third"));
    EXPECT_EQ(coder->decodeInt64("third"), 0);
    EXPECT_FALSE(coder->error());

    auto node = std::make_shared<TestNode>();
    node->child = node;
    NSError error;
    EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(node, &error));
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_EQ(error.code, NSCoderInvalidValueError);
    node->child.reset();
}

TEST(KeyedArchiverTest, WrongKindsAndRangesFail) {
    auto package = samplePackage();
    auto data = NSKeyedArchiver::archivedDataWithRootObject(package);
    ASSERT_TRUE(data);

    // "other" holds a plain item, not a city.
    auto coder = NSKeyedUnarchiver::unarchiverWithData(*data);
    registerCatalogue(*coder);
    coder->setClass(
        [](NSKeyedUnarchiver& c) -> std::shared_ptr<NSObject> {
            c.decodeObjectOfClass<TestCity>("other");
            return std::make_shared<TestPackage>();
        },
        "VMOfflinePackage");
    EXPECT_FALSE(coder->decodeObjectOfClass<TestPackage>("root"));
    ASSERT_TRUE(coder->error());
    EXPECT_EQ(coder->error()->code, NSCoderReadCorruptError);

    // A 64-bit size does not fit 32 bits.
    NSKeyedArchiver archiver;
    archiver.encodeInt64(std::int64_t{1} << 33, "n");
    auto numbers = archiver.finish();
    auto reader = NSKeyedUnarchiver::unarchiverWithData(*numbers);
    EXPECT_EQ(reader->decodeInt32("n"), 0);
    EXPECT_TRUE(reader->error());
}

TEST(KeyedArchiverTest, DatesOutsideTheCalendarAreRefused) {
    // An archived date holding NS.time (seconds since 2001) as given.
    auto dateArchive = [](double time) {
        return craftArchive(
            objectList({dictOf({{"NS.time", plist_new_real(time)}, {"$class", plist_new_uid(2)}}),
                        classEntry("NSDate")}),
            1);
    };
    constexpr double kFrom1970To2001 = 978307200;
    // The last second of the year 9999 and the first of -9999, since 1970.
    constexpr double kLast = 253402300799, kFirst = -377705116800;
    struct Case {
        double time;
        const char* description;  // nullptr: refused
    };
    const Case cases[] = {
        {63113904000, "4001-01-01 00:00:00 +0000"},
        {kLast - kFrom1970To2001, "9999-12-31 23:59:59 +0000"},
        {kFirst - kFrom1970To2001, "-9999-01-01 00:00:00 +0000"},
        {kLast + 1 - kFrom1970To2001, nullptr},
        {kFirst - 1 - kFrom1970To2001, nullptr},
        {1e300, nullptr},
        {-1e300, nullptr},
        {std::numeric_limits<double>::infinity(), nullptr},
        {-std::numeric_limits<double>::infinity(), nullptr},
        {std::numeric_limits<double>::quiet_NaN(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        NSError error;
        const auto value = NSKeyedUnarchiver::unarchiveObjectWithData(dateArchive(c.time), &error);
        if (!c.description) {
            EXPECT_FALSE(value);
            EXPECT_EQ(error.code, NSCoderReadCorruptError);
            // Nor is such a date written.
            EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(
                NSPropertyListDate(c.time + kFrom1970To2001), &error));
            EXPECT_EQ(error.code, NSCoderInvalidValueError);
            continue;
        }
        ASSERT_TRUE(value);
        EXPECT_EQ(describe(*value), c.description);
    }
}

TEST(KeyedArchiverTest, DamagedArchivesGiveErrorsNotCrashes) {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(samplePackage());
    ASSERT_TRUE(data);
    NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<TestNode>(), "TestNode");

    std::vector<NSData> damaged;
    for (size_t length = 0; length < data->size(); length += 3)
        damaged.emplace_back(data->begin(), data->begin() + static_cast<long>(length));
    damaged.push_back(*NSPropertyListSerialization::dataWithPropertyList(
        json{{"$archiver", "Other"}, {"$objects", json::array()}, {"$top", json::object()}},
        NSPropertyListBinaryFormat_v1_0));
    // An array that contains itself.
    damaged.push_back(craftArchive(
        objectList({dictOf({{"NS.objects", uidArray({1})}, {"$class", plist_new_uid(2)}}),
                    classEntry("NSArray")}),
        1));
    // A reference past $objects.
    damaged.push_back(craftArchive(objectList({}), 40));
    // A coded object that holds itself.
    damaged.push_back(craftArchive(
        objectList({dictOf({{"child", plist_new_uid(1)}, {"$class", plist_new_uid(2)}}),
                    classEntry("TestNode")}),
        1));
    // A dictionary whose keys and objects differ in number.
    damaged.push_back(craftArchive(objectList({dictOf({{"NS.keys", uidArray({3})},
                                                       {"NS.objects", uidArray({})},
                                                       {"$class", plist_new_uid(2)}}),
                                               classEntry("NSDictionary"), plist_new_string("k")}),
                                   1));
    // A well-formed dictionary of a class nobody knows.
    damaged.push_back(
        craftArchive(objectList({dictOf({{"NS.keys", uidArray({3})},
                                         {"NS.objects", uidArray({3})},
                                         {"$class", plist_new_uid(2)}}),
                                 classEntry("NSUnknownThing"), plist_new_string("k")}),
                     1));

    for (const NSData& bytes : damaged) {
        NSError plainError;
        EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithData(bytes, &plainError));
        EXPECT_EQ(plainError.domain, NSCocoaErrorDomain);
        EXPECT_EQ(plainError.code, NSCoderReadCorruptError);
        NSError codedError;
        EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectOfClass<TestNode>(bytes, &codedError));
        EXPECT_EQ(codedError.code, NSCoderReadCorruptError);
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSFileError.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSValue.h"
#include "TempDir.h"

namespace {

using testsupport::TempDir;

TEST(DataTest, Md5MatchesKnownDigestsAndBase64RoundTripsEveryByteAndRejectsGarbage) {
    EXPECT_EQ(md5Hex(std::string_view("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex(std::string_view("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Hex(NSDataFromString("工程")), md5Hex(std::string_view("工程")));

    EXPECT_EQ(base64Encode(std::string_view("Man")), "TWFu");
    EXPECT_EQ(base64Encode(std::string_view("Ma")), "TWE=");
    NSData all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
    for (size_t length : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{256}}) {
        const NSData part(all.begin(), all.begin() + static_cast<long>(length));
        EXPECT_EQ(base64Decode(base64Encode(part)), part);
    }
    EXPECT_EQ(base64Decode("TWFu\nTWE="), NSDataFromString("ManMa"));
    for (const char* bad : {"TWF", "TW=u", "T===", "TWE*", "TWE=TWFu", "TWFu===="})
        EXPECT_FALSE(base64Decode(bad)) << bad;
}

TEST(DataTest, WritesAtomicallyAndReportsFileErrors) {
    TempDir dir;
    const std::string path = dir / "file.bin";
    ASSERT_TRUE(NSDataWriteToFile(NSDataFromString("first"), path, true));
    ASSERT_TRUE(NSDataWriteToFile(NSDataFromString("second"), path, true));
    EXPECT_EQ(NSDataWithContentsOfFile(path), NSDataFromString("second"));
    // Only the target remains: no temporary files left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    NSError error;
    EXPECT_FALSE(NSDataWriteToFile(NSDataFromString("x"), dir / "missing/file", true, &error));
    EXPECT_EQ(error.code, NSFileNoSuchFileError);
    EXPECT_EQ(error.userInfo["NSUnderlyingError"]["code"], ENOENT);
    EXPECT_FALSE(NSDataWithContentsOfFile(dir / "absent", &error));
    EXPECT_EQ(error.code, NSFileReadNoSuchFileError);
    EXPECT_EQ(error.userInfo["NSFilePath"], dir / "absent");
}

TEST(LogTest, SinkReceivesFormattedMessages) {
    std::vector<std::string> lines;
    NSLogSink previous = NSLogSetSink([&](const std::string& line) { lines.push_back(line); });
    NSLog("offer:%s", "{\n}");
    NSLog("%d items, %.0f ms", 3, 1500.4);
    NSLogSetSink(previous);
    EXPECT_EQ(lines, (std::vector<std::string>{"offer:{\n}", "3 items, 1500 ms"}));
    EXPECT_EQ(NSStringWithFormat("%s/%.0f", "dir", 1700000000123.0), "dir/1700000000123");
    EXPECT_EQ(NSStringWithFormat("%s", std::string(5000, 'x').c_str()).size(), 5000u);
}

class LocalDateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
        setenv("TZ", "CST-8", 1);  // UTC+8 without daylight saving
        tzset();
    }
    void TearDown() override {
        saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> saved_;
};

TEST_F(LocalDateTest, FormatsAndParsesLocalTime) {
    const NSDate date = NSDateWithTimeIntervalSince1970(1772323200);  // 2026-03-01 00:00:00 UTC
    EXPECT_EQ(NSDateLocalString(date), "2026-03-01 08:00:00");
    auto parsed = NSDateFromLocalString("2026-03-01 08:00:00");
    ASSERT_TRUE(parsed);
    EXPECT_DOUBLE_EQ(NSDateTimeIntervalSince1970(*parsed), 1772323200);
    for (const char* bad : {"2026-02-29 00:00:00", "2026-1-01 00:00:00", "2026-01-01 24:00:00",
                            "2026-01-01T00:00:00", "2026-01-01 00:00", "abcd-ef-gh ij:kl:mn"})
        EXPECT_FALSE(NSDateFromLocalString(bad)) << bad;
    EXPECT_TRUE(NSDateFromLocalString("2024-02-29 23:59:59"));
}

// Seconds from a record or a calculation can be anything a double holds: past the few centuries
// that a date can hold they give the nearest end, and NaN gives 1970; none is converted out of
// range on the way, nor when the date is written out.
TEST_F(LocalDateTest, SecondsOutOfRangeGiveTheNearestDate) {
    const double latest = NSDateTimeIntervalSince1970(NSDate::max());
    const double earliest = NSDateTimeIntervalSince1970(NSDate::min());
    struct Case {
        double seconds;
        double since1970;
        const char* local;
    };
    const Case cases[] = {
        {std::numeric_limits<double>::quiet_NaN(), 0, "1970-01-01 08:00:00"},
        {std::numeric_limits<double>::infinity(), latest, "2262-04-12 07:47:16"},
        {-std::numeric_limits<double>::infinity(), earliest, "1677-09-21 08:12:43"},
        {1e300, latest, "2262-04-12 07:47:16"},
        {-1e300, earliest, "1677-09-21 08:12:43"},
        {std::numeric_limits<double>::max(), latest, "2262-04-12 07:47:16"},
        {9.3e9, latest, "2262-04-12 07:47:16"},
        {-9.3e9, earliest, "1677-09-21 08:12:43"},
        {9.2e9, 9.2e9, "2261-07-15 19:33:20"},
        {-1.5, -1.5, "1970-01-01 07:59:58"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        const NSDate date = NSDateWithTimeIntervalSince1970(c.seconds);
        EXPECT_DOUBLE_EQ(NSDateTimeIntervalSince1970(date), c.since1970);
        EXPECT_EQ(NSDateLocalString(date), c.local);
    }
}

struct Pair {
    double first;
    double second;
    bool operator==(const Pair&) const = default;
};

TEST(Value, ReadsBackAndComparesUnderItsOwnEncodingOnly) {
    const NSValue v = NSValue::valueWithBytes(Pair{1.5, -2.5}, "{Pair=dd}");
    EXPECT_EQ(v.getValue<Pair>("{Pair=dd}"), (Pair{1.5, -2.5}));
    EXPECT_EQ(v.getValue<Pair>("{Other=dd}"), std::nullopt);
    // The right encoding with the wrong size is refused too, never a copy past the held bytes.
    EXPECT_EQ(v.getValue<double>("{Pair=dd}"), std::nullopt);
    struct Wide {
        double v[4];
    };
    EXPECT_FALSE(v.getValue<Wide>("{Pair=dd}").has_value());

    // Equal when encoding and bytes agree.
    EXPECT_TRUE(v.isEqualToValue(NSValue::valueWithBytes(Pair{1.5, -2.5}, "{Pair=dd}")));
    EXPECT_FALSE(v.isEqualToValue(NSValue::valueWithBytes(Pair{1.5, 3}, "{Pair=dd}")));
    EXPECT_FALSE(v.isEqualToValue(NSValue::valueWithBytes(Pair{1.5, -2.5}, "{Other=dd}")));
    // Zero bytes of another length under one encoding are another value.
    EXPECT_FALSE(NSValue::valueWithBytes(Pair{0, 0}, "x")
                     .isEqualToValue(NSValue::valueWithBytes(std::int64_t{0}, "x")));
}

}  // namespace

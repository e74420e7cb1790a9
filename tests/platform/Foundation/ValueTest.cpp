#include <gtest/gtest.h>

#include <cstdint>

#include "Foundation/NSValue.h"

namespace {

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

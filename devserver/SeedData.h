#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "Database.h"
#include "PasswordHash.h"

namespace devserver {

// The catalogue product whose price excludes travel costs.
inline constexpr std::string_view kTravelExcludedGoodsId = "1dc8b16a1f97465a9ece37e8b88216fb";

inline constexpr int kSchemaVersion = 5;

// How much the first start puts into a fresh data file.
inline constexpr int kSeedOpenInquiries = 72;
inline constexpr int kSeedOrdersPerStatePerEngineer = 4;
inline constexpr int kSeedMessagesPerTypePerEngineer = 40;
inline constexpr std::array<int, 4> kMessageTypes = {55, 56, 57, -1};

struct SeedEngineer {
    std::string_view userName;
    std::string_view password;
    std::string_view engineerNo;
    std::string_view fullName;
    std::string_view mobile;
    std::string_view level;
    // The picture's path on this server, empty for none.
    std::string_view photo;
};

// The accounts the seed creates (also listed in devserver/README.md).
inline constexpr std::array<SeedEngineer, 2> kSeedEngineers = {{
    {"zhangwei", "zw123456", "GC20260001", "张伟", "13812345601", "高级工程师",
     "/images/engineers/GC20260001.png"},
    {"lina", "ln123456", "GC20260002", "李娜", "13912345602", "工程师", ""},
}};

// Creates the schema and the sample data when the file has none yet, and brings a file of an
// older schema up to date; a file that is current is left as it is. The content is the same
// on every machine (fixed seed), apart from the password salts. The iteration count is the
// production one unless a test that creates many accounts lowers it.
void ensureSeeded(Database& db, int passwordIterations = kPasswordIterations);

}  // namespace devserver

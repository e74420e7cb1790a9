#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>

#include "Foundation/NSBundle.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "UIKit/UIDevice.h"
#include "VAvaIdentifierAddition.h"
#include "VAvaMD5Addition.h"
#include "ZIRidUdoDoNotBackup.h"

namespace {

namespace fs = std::filesystem;

using testsupport::LogCapture;
using testsupport::TempDir;

TEST(DeviceIdentifier, HardwareAddressItsDigestsAndThePerApplicationOne) {
    const auto mac = macaddress();
    ASSERT_TRUE(mac) << "this machine has no interface with a hardware address";
    EXPECT_TRUE(std::regex_match(*mac, std::regex("([0-9A-F]{2}:){5}[0-9A-F]{2}"))) << *mac;
    EXPECT_EQ(vavaMACAddress(), mac);

    const auto global = vavaUniqueGlobalDeviceIdentifier();
    ASSERT_TRUE(global);
    EXPECT_TRUE(std::regex_match(*global, std::regex("[0-9a-f]{32}")));
    EXPECT_EQ(vavaUniqueGlobalDeviceIdentifier(), global);
    EXPECT_EQ(global, vm_MD5String(*mac));

    // The per-application identifier includes the bundle identifier.
    TempDir dir;
    std::ofstream(dir.path() / "Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
           "<string>com.brisfold.test</string></dict></plist>\n";
    const std::string previous = NSBundle::mainBundle()->bundlePath();
    NSBundle::setMainBundlePath(dir.path().string());
    EXPECT_EQ(vavaUniqueDeviceIdentifier(), vm_MD5String(*mac + "com.brisfold.test"));
    EXPECT_NE(vavaUniqueDeviceIdentifier(), vavaUniqueGlobalDeviceIdentifier());
    NSBundle::setMainBundlePath(previous);
}

// Sets the device's system version for one test and puts the default back after it.
class SystemVersion {
  public:
    explicit SystemVersion(std::string version) {
        UIDevice::currentDevice()->setSystemVersion(std::move(version));
    }
    ~SystemVersion() { UIDevice::currentDevice()->reset(); }
};

std::optional<std::string> attribute(const fs::path& path, const char* name) {
    char value[8] = {};
    const ssize_t n = getxattr(path.c_str(), name, value, sizeof value);
    if (n < 0) return std::nullopt;
    return std::string(value, static_cast<std::size_t>(n));
}

TEST(DoNotBackup, SystemVersionsCompareNumerically) {
    const struct {
        const char* device;
        const char* asked;
        bool atLeast;
    } cases[] = {
        {"9.0", "5.1", true},      {"5.1", "5.1", true},
        {"5.1", "5.1.0", true},    {"5.0.1", "5.1", false},
        {"10.0", "9.3", true},     {"5.10", "5.9", true},
        {"4.3.5", "5.0.1", false}, {"9.0", "0", true},
        {"9.0", "999.0", false},   {"99999999999999999999.0", "9.0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " >= " + c.asked);
        SystemVersion version(c.device);
        EXPECT_EQ(systemVersionGreaterThanOrEqualTo(c.asked), c.atLeast);
    }
}

TEST(DoNotBackup, EachSystemVersionMarksItsOwnWay) {
    const struct {
        const char* version;
        bool marked;
        std::optional<std::string> excluded;
        std::optional<std::string> legacy;
    } cases[] = {
        {"5.1", true, "1", std::nullopt},
        {"5.0.1", true, std::nullopt, std::string("\x01", 1)},
        {"5.0", false, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        SystemVersion version(c.version);
        TempDir dir;
        const fs::path nested = dir.path() / "a" / "b";
        EXPECT_EQ(createDirectoryAndForbidBackup(nested), c.marked);
        EXPECT_TRUE(fs::is_directory(nested));
        EXPECT_EQ(attribute(nested, "user.excluded-from-backup"), c.excluded);
        EXPECT_EQ(attribute(nested, "user.no-backup"), c.legacy);
    }
}

TEST(DoNotBackup, OnlyExistingDirectoriesAreMadeAndMarkedOrKeptUnmarked) {
    TempDir dir;
    const fs::path missing = dir.path() / "missing";
    EXPECT_FALSE(forbidBackup(missing));
    EXPECT_FALSE(fs::exists(missing));

    // A file where a directory should go.
    std::ofstream(dir.path() / "file") << "x";
    LogCapture log;
    EXPECT_FALSE(createDirectoryAndForbidBackup(dir.path() / "file" / "sub"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_THAT(log.lines()[0], testing::HasSubstr("Error create directory"));

    // A file system without user attributes keeps the directory it cannot mark.
    const ExtendedAttributeWriter unsupported = [](const fs::path&, std::string_view,
                                                   std::string_view) {
        return std::make_error_code(std::errc::operation_not_supported);
    };
    for (const char* system : {"9.0", "5.0.1"}) {
        SCOPED_TRACE(system);
        SystemVersion version(system);
        const fs::path cache = dir.path() / system / "vmap";
        LogCapture unmarked;
        EXPECT_FALSE(createDirectoryAndForbidBackup(cache, unsupported));
        EXPECT_TRUE(fs::is_directory(cache));
        ASSERT_EQ(unmarked.lines().size(), 1u);
        EXPECT_EQ(unmarked.lines()[0],
                  "Error excluding vmap from backup (the file system keeps no user extended "
                  "attributes)");
    }
}

}  // namespace

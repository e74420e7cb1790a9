#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Database.h"
#include "PasswordHash.h"
#include "TempDir.h"

namespace devserver {
namespace {

unsigned modeOf(const std::filesystem::path& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return 0;
    return status.st_mode & 0777;
}

TEST(DatabaseTest, ReaderDoesNotWaitForAWriter) {
    testsupport::TempDir dir;
    const auto file = dir.path() / "data.sqlite";
    Database writer(file);
    writer.execute("CREATE TABLE t (x INTEGER); INSERT INTO t VALUES (1);");
    Database reader(file);
    // The strongest lock a writer can take; a rollback journal would make the reader wait.
    writer.execute("BEGIN EXCLUSIVE; UPDATE t SET x = 2;");
    EXPECT_EQ(reader.scalar("SELECT x FROM t"), 1);
    writer.execute("COMMIT");
    EXPECT_EQ(reader.scalar("SELECT x FROM t"), 2);
}

TEST(DatabaseTest, TheFileAndItsLogAreReadableByTheOwnerOnly) {
    testsupport::TempDir dir;
    const auto fresh = dir.path() / "fresh.sqlite";
    const auto existing = dir.path() / "existing.sqlite";
    std::ofstream(existing).close();
    std::filesystem::permissions(
        existing, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                      std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    for (const auto& file : {fresh, existing}) {
        Database db(file);
        db.execute("CREATE TABLE t (x INTEGER); INSERT INTO t VALUES (1);");
        for (const std::string suffix : {"", "-wal", "-shm"}) {
            EXPECT_EQ(modeOf(file.string() + suffix), 0600u) << file << suffix;
        }
    }
}

TEST(DatabaseTest, FileThatCannotBeOpenedIsReportedWithItsPath) {
    testsupport::TempDir dir;
    try {
        Database db(dir.path());
        ADD_FAILURE() << "a directory opened as a database";
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find(dir.path().string()), std::string::npos)
            << error.what();
    }
}

TEST(PasswordHashTest, IsPbkdf2HmacSha256OfThePasswordAndSalt) {
    // The published PBKDF2-HMAC-SHA256 vectors, first 32 bytes.
    struct Case {
        std::string password;
        std::string salt;
        int iterations;
        std::string key;
    };
    const std::vector<Case> cases = {
        {"passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"},
        {"Password", "NaCl", 80000,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"},
    };
    for (const auto& c : cases) {
        const PasswordHash stored{c.salt, c.key, c.iterations};
        EXPECT_TRUE(stored.matches(c.password)) << c.password;
        EXPECT_FALSE(stored.matches(c.password + "x")) << c.password;
        EXPECT_FALSE((PasswordHash{c.salt, c.key, c.iterations + 1}.matches(c.password)));
    }
}

TEST(PasswordHashTest, CreateSaltsEachHashAndMatchesOnlyItsPassword) {
    const auto first = PasswordHash::create("zw123456", 1000);
    const auto second = PasswordHash::create("zw123456", 1000);
    EXPECT_EQ(first.iterations, 1000);
    EXPECT_EQ(first.salt.size(), 32u);
    EXPECT_EQ(first.hash.size(), 64u);
    EXPECT_NE(first.salt, second.salt);
    EXPECT_NE(first.hash, second.hash);
    EXPECT_TRUE(first.matches("zw123456"));
    EXPECT_FALSE(first.matches("zw12345"));
    EXPECT_FALSE(first.matches(""));
    // A row whose iteration count is missing or damaged matches nothing.
    EXPECT_FALSE((PasswordHash{first.salt, first.hash, 0}.matches("zw123456")));
    EXPECT_THROW(PasswordHash::create("zw123456", 0), std::invalid_argument);
}

}  // namespace
}  // namespace devserver

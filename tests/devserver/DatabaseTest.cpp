#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "Database.h"
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

}  // namespace
}  // namespace devserver

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "PasswordHash.h"
#include "SeedData.h"
#include "TempDir.h"

namespace devserver {
namespace {

class SeedDataTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureSeeded(db_); }

    testsupport::TempDir dir_;
    Database db_{dir_ / "seed.sqlite"};
};

// Every inquiry has devices, some more than one page of three; only the travel-excluded product
// carries transport and hotel conditions; messages point at records that exist.
TEST_F(SeedDataTest, SampleRecordsAreCompleteAndPointAtEachOther) {
    for (const char* sql :
         {"SELECT COUNT(*) FROM inquiries WHERE ask_price_id NOT IN (SELECT ask_price_id FROM "
          "devices)",
          "SELECT COUNT(*) = 0 FROM (SELECT ask_price_id FROM devices GROUP BY ask_price_id "
          "HAVING COUNT(*) > 3)",
          "SELECT COUNT(*) FROM messages WHERE news_type_id = 56 AND resource_id NOT IN (SELECT "
          "ask_price_id FROM inquiries)",
          "SELECT COUNT(*) FROM messages m WHERE news_type_id IN (55, 57) AND NOT EXISTS (SELECT 1 "
          "FROM orders o WHERE o.order_id = m.resource_id AND o.engineer_id = m.engineer_id)"})
        EXPECT_EQ(db_.scalar(sql), 0) << sql;
    EXPECT_EQ(db_.scalar("SELECT COUNT(*) FROM inquiries WHERE (goods_id = ?) <> "
                         "(transportation_type <> '')",
                         kTravelExcludedGoodsId),
              0);
}

// An engineer who knew the other's ID could act as him; the sample itself stays the same.
TEST_F(SeedDataTest, EngineerIdsAreEachFilesOwnAndTheSampleIsNot) {
    Database second{dir_ / "second.sqlite"};
    ensureSeeded(second, 1000);
    const auto column = [](Database& db, const char* sql) {
        std::set<std::string> values;
        auto rows = db.query(sql);
        while (rows.step()) values.insert(rows.text(0));
        return values;
    };
    const auto mine = column(db_, "SELECT user_id FROM engineers");
    for (const auto& id : column(second, "SELECT user_id FROM engineers")) {
        EXPECT_FALSE(mine.contains(id)) << id;
        EXPECT_EQ(id.size(), 32u);
    }
    EXPECT_EQ(column(db_, "SELECT ask_price_id FROM inquiries"),
              column(second, "SELECT ask_price_id FROM inquiries"));
}

TEST_F(SeedDataTest, PasswordsAreStoredAsSlowSaltedHashes) {
    std::set<std::string> salts;
    for (const auto& seed : kSeedEngineers) {
        auto row = db_.query(
            "SELECT password_salt, password_hash, password_iterations FROM engineers "
            "WHERE user_name = ?",
            seed.userName);
        ASSERT_TRUE(row.step());
        const PasswordHash stored{row.text(0), row.text(1), static_cast<int>(row.integer(2))};
        EXPECT_GE(stored.iterations, 100'000);
        EXPECT_EQ(stored.hash.size(), 64u);
        EXPECT_EQ(stored.hash.find(seed.password), std::string::npos);
        EXPECT_TRUE(stored.matches(seed.password));
        salts.insert(stored.salt);
    }
    EXPECT_EQ(salts.size(), kSeedEngineers.size());
}

TEST(SeedDataUpgradeTest, FileOfTheFirstSchemaKeepsItsAccountsWithTheirSecretsRehashed) {
    testsupport::TempDir dir;
    Database db(dir.path() / "old.sqlite");
    // What the first schema kept: one salted SHA-256 per password and the tokens as issued.
    db.execute(
        "CREATE TABLE engineers (user_id TEXT PRIMARY KEY, user_name TEXT NOT NULL UNIQUE, "
        "password_salt TEXT NOT NULL, password_hash TEXT NOT NULL, "
        "token TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE messages (news_id TEXT PRIMARY KEY, engineer_id TEXT NOT NULL);"
        "PRAGMA user_version = 1;");
    const auto& seed = kSeedEngineers[0];
    const std::string token = "0123456789abcdef0123456789abcdef";
    db.run("INSERT INTO engineers VALUES ('u1', ?, 'salt', ?, ?)", seed.userName,
           sha256Hex("salt", seed.password), token);
    db.run("INSERT INTO engineers VALUES ('u2', ?, 'salt', ?, '')", kSeedEngineers[1].userName,
           sha256Hex("salt", "changed by hand"));

    ensureSeeded(db, 1000);
    EXPECT_EQ(db.scalar("PRAGMA user_version"), kSchemaVersion);
    auto row = db.query(
        "SELECT password_salt, password_hash, password_iterations, token_hash FROM engineers "
        "WHERE user_id = 'u1'");
    ASSERT_TRUE(row.step());
    const PasswordHash upgraded{row.text(0), row.text(1), static_cast<int>(row.integer(2))};
    EXPECT_TRUE(upgraded.matches(seed.password));
    EXPECT_EQ(upgraded.iterations, 1000);
    EXPECT_EQ(row.text(3), tokenHash(token));
    // A password that is no longer the seed's cannot be derived anew, and no longer signs in.
    auto changed = db.query(
        "SELECT password_salt, password_hash, password_iterations FROM engineers "
        "WHERE user_id = 'u2'");
    ASSERT_TRUE(changed.step());
    EXPECT_FALSE(
        (PasswordHash{changed.text(0), changed.text(1), static_cast<int>(changed.integer(2))}
             .matches("changed by hand")));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM pushes"), 0);
    // The upgrade adds no sample data to a file that has its own.
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'inquiries'"), 0);
}

}  // namespace
}  // namespace devserver

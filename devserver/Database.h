#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace devserver {

// Thrown for any SQLite failure; the server turns it into a 500 reply.
class DatabaseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One prepared statement; finalized when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters are 1-based as in SQLite.
    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
    Statement& bind(int index, int64_t value);
    Statement& bind(int index, int value) { return bind(index, static_cast<int64_t>(value)); }
    Statement& bind(int index, double value);
    Statement& bindNull(int index);

    template <class... Args>
    Statement& bindAll(Args&&... args) {
        int index = 1;
        (bind(index++, std::forward<Args>(args)), ...);
        return *this;
    }

    // True while a row is available; false when the statement is done.
    bool step();

    int columnCount() const;
    std::string columnName(int column) const;
    int columnType(int column) const;
    std::string text(int column) const;
    int64_t integer(int column) const;
    double real(int column) const;

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// An open SQLite connection; closed when it goes out of scope. The file holds credentials: a
// new one is created readable by its owner only, and an existing one is made so. It is kept
// in write-ahead-log mode, so that readers never wait for a writer.
class Database {
  public:
    // busyTimeout: how long a statement waits for another connection's write lock.
    explicit Database(const std::filesystem::path& file,
                      std::chrono::milliseconds busyTimeout = std::chrono::seconds(10));
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    template <class... Args>
    Statement query(std::string_view sql, Args&&... args) {
        Statement statement(db_, sql);
        statement.bindAll(std::forward<Args>(args)...);
        return statement;
    }

    // Runs a statement that yields no rows.
    template <class... Args>
    void run(std::string_view sql, Args&&... args) {
        auto statement = query(sql, std::forward<Args>(args)...);
        while (statement.step()) {
        }
    }

    // Runs a statement whose first column of the first row is an integer.
    template <class... Args>
    int64_t scalar(std::string_view sql, Args&&... args) {
        auto statement = query(sql, std::forward<Args>(args)...);
        if (!statement.step()) throw DatabaseError("query returned no row");
        return statement.integer(0);
    }

    // Runs several statements separated by semicolons, without parameters.
    void execute(const std::string& script);

    sqlite3* handle() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

// Commits on commit(), rolls back if left without it.
class Transaction {
  public:
    // Immediate: takes the write lock at once, so that two starting processes seed only once.
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

  private:
    Database& db_;
    bool done_ = false;
};

}  // namespace devserver

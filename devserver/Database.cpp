#include "Database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace devserver {

namespace {

[[noreturn]] void fail(sqlite3* db, std::string_view what) {
    throw DatabaseError(std::string(what) + ": " + sqlite3_errmsg(db));
}

[[noreturn]] void failFile(const std::filesystem::path& file, std::string_view what) {
    throw DatabaseError(std::string(what) + " " + file.string() + ": " + std::strerror(errno));
}

// SQLite would create the file with the process's umask, usually readable by everyone.
void makePrivate(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) failFile(file, "open");
    struct stat status {};
    const bool ok = ::fstat(fd, &status) == 0 && ((status.st_mode & (S_IRWXG | S_IRWXO)) == 0 ||
                                                  ::fchmod(fd, status.st_mode & S_IRWXU) == 0);
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    if (!ok) failFile(file, "make private");
}

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
        SQLITE_OK) {
        fail(db_, "prepare");
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        fail(db_, "bind");
    }
    return *this;
}

Statement& Statement::bind(int index, int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) fail(db_, "bind");
    return *this;
}

Statement& Statement::bind(int index, double value) {
    if (sqlite3_bind_double(stmt_, index, value) != SQLITE_OK) fail(db_, "bind");
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) fail(db_, "bind");
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(db_, "step");
}

int Statement::columnCount() const { return sqlite3_column_count(stmt_); }

std::string Statement::columnName(int column) const { return sqlite3_column_name(stmt_, column); }

int Statement::columnType(int column) const { return sqlite3_column_type(stmt_, column); }

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(stmt_, column);
    if (bytes == nullptr) return {};
    return {reinterpret_cast<const char*>(bytes),
            static_cast<size_t>(sqlite3_column_bytes(stmt_, column))};
}

int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::real(int column) const { return sqlite3_column_double(stmt_, column); }

Database::Database(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout) {
    makePrivate(file);
    const int rc = sqlite3_open_v2(
        file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        throw DatabaseError("open " + file.string() + ": " + message);
    }
    // A second process seeding the same file waits for the first instead of failing.
    sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count()));
    try {
        // The log and shared-memory files that SQLite adds take the file's own permissions.
        auto mode = query("PRAGMA journal_mode = WAL");
        if (!mode.step() || mode.text(0) != "wal") {
            throw DatabaseError("cannot use a write-ahead log in " + file.string());
        }
        // A checkpoint cuts the log back to what the automatic one lets it reach (1,000 pages),
        // rather than keeping it at the largest transaction it ever held.
        auto limit = query("PRAGMA journal_size_limit = 4194304");
        limit.step();
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

// A statement still held keeps the connection until it is finalized, instead of leaving it open
// for good.
Database::~Database() { sqlite3_close_v2(db_); }

void Database::execute(const std::string& script) {
    char* error = nullptr;
    if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw DatabaseError("exec: " + message);
    }
}

Transaction::Transaction(Database& db) : db_(db) { db_.execute("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (!done_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    db_.execute("COMMIT");
    done_ = true;
}

}  // namespace devserver

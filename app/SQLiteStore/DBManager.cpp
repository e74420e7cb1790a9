#include "SQLiteStore/DBManager.h"

#include <sqlite3.h>

#include <array>

#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"

namespace {

struct DatabaseClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseClose>;

struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

struct Column {
    const char* name;
    const std::string& (HomeModel::*get)() const;
    void (HomeModel::*set)(std::string);
};

// The table's text columns in their order, with the record's property for each.
const std::array<Column, 21> kColumns = {{
    {"section", &HomeModel::sectionStr, &HomeModel::setSectionStr},
    {"title", &HomeModel::titleStr, &HomeModel::setTitleStr},
    {"subTitle", &HomeModel::subTitleStr, &HomeModel::setSubTitleStr},
    {"left", &HomeModel::leftStr, &HomeModel::setLeftStr},
    {"middle", &HomeModel::midStr, &HomeModel::setMidStr},
    {"right", &HomeModel::rightStr, &HomeModel::setRightStr},
    {"currentOffer", &HomeModel::offerStr, &HomeModel::setOfferStr},
    {"lastOffer", &HomeModel::lstOfferStr, &HomeModel::setLstOfferStr},
    {"time", &HomeModel::timeStr, &HomeModel::setTimeStr},
    {"askPriceID", &HomeModel::askPriceIDStr, &HomeModel::setAskPriceIDStr},
    {"hopeStartDate", &HomeModel::hopeStartDateStr, &HomeModel::setHopeStartDateStr},
    {"detailsDesc", &HomeModel::detailsDescStr, &HomeModel::setDetailsDescStr},
    {"deviceFactory", &HomeModel::deviceFactoryStr, &HomeModel::setDeviceFactoryStr},
    {"goodsName", &HomeModel::goodsNameStr, &HomeModel::setGoodsNameStr},
    {"hopeProvice", &HomeModel::hopeProviceStr, &HomeModel::setHopeProviceStr},
    {"implementPlace", &HomeModel::implementPlaceStr, &HomeModel::setImplementPlaceStr},
    {"implementProvince", &HomeModel::implementProvinceStr, &HomeModel::setImplementProvinceStr},
    {"industryName", &HomeModel::industryNameStr, &HomeModel::setIndustryNameStr},
    {"phone", &HomeModel::phoneStr, &HomeModel::setPhoneStr},
    {"servicesname", &HomeModel::servicesnameStr, &HomeModel::setServicesnameStr},
    {"haveFavorite", &HomeModel::haveFavorite, &HomeModel::setHaveFavorite},
}};

// Column names are quoted: "left", "right" and "time" are words of the query language.
std::string columnList(const char* suffix) {
    std::string list;
    for (const auto& c : kColumns) {
        if (!list.empty()) list += ", ";
        list += '"';
        list += c.name;
        list += '"';
        list += suffix;
    }
    return list;
}

const std::string kCreateTable =
    "create table if not exists favoriteInfo (id integer primary "
    "key autoincrement, " +
    columnList(" text(256)") + ")";
const std::string kSelectColumns = "select " + columnList("") + " from favoriteInfo";

std::string insertStatement() {
    std::string placeholders;
    for (size_t i = 0; i < kColumns.size(); ++i) placeholders += i == 0 ? "?" : ", ?";
    return "insert into favoriteInfo (" + columnList("") + ") values (" + placeholders + ")";
}

void logFailure(const std::string& path, const char* what, const char* why) {
    NSLog("Favourites store %s: %s failed: %s", path.c_str(), what, why);
}

Database openStore(const std::string& path) {
    // An empty name would open a private temporary database that nobody could read back.
    if (path.empty()) {
        logFailure(path, "open", "no Documents directory");
        return {};
    }
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) {
        logFailure(path, "open", db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
        return {};
    }
    char* error = nullptr;
    if (sqlite3_exec(db.get(), kCreateTable.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        logFailure(path, "open", error ? error : sqlite3_errmsg(db.get()));
        sqlite3_free(error);
        return {};
    }
    return db;
}

Statement prepare(sqlite3* db, const std::string& path, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK) {
        logFailure(path, "prepare", sqlite3_errmsg(db));
    }
    return Statement(raw);
}

bool bindText(sqlite3_stmt* statement, int index, std::string_view text) {
    return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8) == SQLITE_OK;
}

std::string columnText(sqlite3_stmt* statement, int index) {
    const auto* text = sqlite3_column_text(statement, index);
    if (text == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(statement, index)));
}

std::shared_ptr<HomeModel> modelFromRow(sqlite3_stmt* statement) {
    auto model = HomeModel::create();
    for (size_t i = 0; i < kColumns.size(); ++i) {
        ((*model).*kColumns[i].set)(columnText(statement, static_cast<int>(i)));
    }
    return model;
}

// Reads every row the statement yields; nothing when a step fails part way.
std::optional<std::vector<std::shared_ptr<HomeModel>>> readRows(sqlite3* db,
                                                                const std::string& path,
                                                                sqlite3_stmt* statement) {
    std::vector<std::shared_ptr<HomeModel>> rows;
    for (;;) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE) return rows;
        if (rc != SQLITE_ROW) {
            logFailure(path, "read", sqlite3_errmsg(db));
            return std::nullopt;
        }
        rows.push_back(modelFromRow(statement));
    }
}

}  // namespace

// Follows the app home: a store made before the home changed would write into the old one.
std::shared_ptr<DBManager> DBManager::shareManager() {
    static std::shared_ptr<DBManager> shared;
    const auto documents =
        NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask);
    const bool found = !documents.empty() && !documents.front().empty();
    const std::string path = found ? documents.front() + "/favorite.db" : std::string();
    if (!shared || shared->path() != path) shared = create(path);
    return shared;
}

std::shared_ptr<DBManager> DBManager::create(std::string path) {
    return std::shared_ptr<DBManager>(new DBManager(std::move(path)));
}

bool DBManager::insertDataWithModel(const HomeModel& model) {
    const Database db = openStore(path_);
    if (!db) return false;
    const Statement statement = prepare(db.get(), path_, insertStatement());
    if (!statement) return false;
    for (size_t i = 0; i < kColumns.size(); ++i) {
        if (!bindText(statement.get(), static_cast<int>(i) + 1, (model.*kColumns[i].get)())) {
            logFailure(path_, "insert", sqlite3_errmsg(db.get()));
            return false;
        }
    }
    if (sqlite3_step(statement.get()) != SQLITE_DONE) {
        logFailure(path_, "insert", sqlite3_errmsg(db.get()));
        return false;
    }
    return true;
}

bool DBManager::deleteDataWithUserId(std::string_view askPriceID) {
    const Database db = openStore(path_);
    if (!db) return false;
    const Statement statement =
        prepare(db.get(), path_, "delete from favoriteInfo where askPriceID = ?");
    if (!statement) return false;
    if (!bindText(statement.get(), 1, askPriceID) || sqlite3_step(statement.get()) != SQLITE_DONE) {
        logFailure(path_, "delete", sqlite3_errmsg(db.get()));
        return false;
    }
    return true;
}

std::optional<std::vector<std::shared_ptr<HomeModel>>> DBManager::fetchAllFavorite() {
    const Database db = openStore(path_);
    if (!db) return std::nullopt;
    const Statement statement = prepare(db.get(), path_, kSelectColumns + " order by id");
    if (!statement) return std::nullopt;
    return readRows(db.get(), path_, statement.get());
}

std::shared_ptr<HomeModel> DBManager::selectModelWithAskPriceID(std::string_view askPriceID) {
    const Database db = openStore(path_);
    if (!db) return nullptr;
    const Statement statement =
        prepare(db.get(), path_, kSelectColumns + " where askPriceID = ? order by id limit 1");
    if (!statement) return nullptr;
    if (!bindText(statement.get(), 1, askPriceID)) {
        logFailure(path_, "select", sqlite3_errmsg(db.get()));
        return nullptr;
    }
    const auto rows = readRows(db.get(), path_, statement.get());
    if (!rows || rows->empty()) return nullptr;
    return rows->front();
}

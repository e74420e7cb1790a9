#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// The askPriceID column of the app's favorite.db, read straight from the file in stored order.
inline std::vector<std::string> favouriteIDs(const std::filesystem::path& file) {
    std::vector<std::string> ids;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* select = nullptr;
        sqlite3_prepare_v2(db, "SELECT askPriceID FROM favoriteInfo ORDER BY id", -1, &select,
                           nullptr);
        while (select && sqlite3_step(select) == SQLITE_ROW)
            ids.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)));
        sqlite3_finalize(select);
    }
    sqlite3_close(db);
    return ids;
}

}  // namespace testsupport

#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>

#include "Database.h"
#include "FormBody.h"

namespace devserver {

// The page the client asks for with "pageindex" (from 1) and "rows".
struct PageRequest {
    int64_t pageindex = 1;
    int64_t rows = 10;

    static constexpr int64_t kMaxRows = 100;

    // Absent keys give page 1 of 10 rows; other values must be whole numbers in range.
    static PageRequest from(const FormBody& form);
};

// One row of a statement as a reply object: the column names (aliased in SQL to the reply
// keys) are the keys; integers and reals become JSON numbers, text strings, NULL null.
nlohmann::json rowObject(const Statement& statement);

// Builds the list envelope {"pageindex","rows","totalPages","totalCount","List"}. countSql
// yields the total; selectSql yields the rows in order and gets "LIMIT ? OFFSET ?" appended.
// Both take the same parameters.
template <class... Args>
nlohmann::json pagedList(Database& db, const PageRequest& page, std::string_view countSql,
                         std::string_view selectSql, const Args&... args) {
    const int64_t total = db.scalar(countSql, args...);
    auto select = db.query(std::string(selectSql) + " LIMIT ? OFFSET ?", args...);
    constexpr int next = static_cast<int>(sizeof...(Args)) + 1;
    select.bind(next, page.rows);
    select.bind(next + 1, (page.pageindex - 1) * page.rows);
    auto list = nlohmann::json::array();
    while (select.step()) list.push_back(rowObject(select));
    return {{"pageindex", page.pageindex},
            {"rows", page.rows},
            {"totalPages", (total + page.rows - 1) / page.rows},
            {"totalCount", total},
            {"List", std::move(list)}};
}

}  // namespace devserver

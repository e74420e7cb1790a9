#include "PagedList.h"

namespace devserver {

PageRequest PageRequest::from(const FormBody& form) {
    PageRequest page;
    page.pageindex = form.integer("pageindex", 1, 1, 1'000'000);
    page.rows = form.integer("rows", 10, 1, kMaxRows);
    return page;
}

nlohmann::json rowObject(const Statement& statement) {
    auto object = nlohmann::json::object();
    for (int column = 0; column < statement.columnCount(); ++column) {
        auto& value = object[statement.columnName(column)];
        switch (statement.columnType(column)) {
            case SQLITE_INTEGER:
                value = statement.integer(column);
                break;
            case SQLITE_FLOAT:
                value = statement.real(column);
                break;
            case SQLITE_NULL:
                value = nullptr;
                break;
            default:
                value = statement.text(column);
                break;
        }
    }
    return object;
}

}  // namespace devserver

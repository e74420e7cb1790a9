#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSObject.h"
#include "inquiries/HomeModel.h"

// The favourite inquiries kept on the phone: table favoriteInfo of an SQLite file, one row per
// favourite with 21 of the record's texts. Every call opens the file, creates the table when it
// is missing and closes the file again, so nothing stays open between calls. A file that cannot
// be opened or read is left as it is: the call fails and says why in the log.
class DBManager : public NSObject {
  public:
    // The process-wide store over "favorite.db" in the app home's Documents directory.
    static std::shared_ptr<DBManager> shareManager();
    static std::shared_ptr<DBManager> create(std::string path);

    const std::string& path() const { return path_; }

    // Whether the row was stored.
    [[nodiscard]] bool insertDataWithModel(const HomeModel& model);
    // Removes every favourite of the inquiry; whether the store could be changed (an inquiry
    // that was not stored is no failure).
    [[nodiscard]] bool deleteDataWithUserId(std::string_view askPriceID);
    // All favourites in the order they were stored; nothing when the store cannot be read.
    std::optional<std::vector<std::shared_ptr<HomeModel>>> fetchAllFavorite();
    // The first favourite stored for the inquiry; null when there is none or the store cannot
    // be read.
    std::shared_ptr<HomeModel> selectModelWithAskPriceID(std::string_view askPriceID);

  protected:
    explicit DBManager(std::string path) : path_(std::move(path)) {}

  private:
    std::string path_;
};

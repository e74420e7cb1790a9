#include "InquiryScreensEndpoints.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "PagedList.h"
#include "SeedData.h"

namespace devserver {

namespace {

struct Choice {
    nlohmann::json id;  // a number, or the product's identifier text
    std::string name;
};

// The choices of a dictionary. Numeric IDs count the distinct names in name order, which the
// fixed seed keeps the same from start to start.
std::vector<Choice> dictionary(Database& db, std::string_view index) {
    std::string sql;
    if (index == "SSHY") {
        sql = "SELECT DISTINCT industry_name FROM inquiries ORDER BY industry_name";
    } else if (index == "SBCS") {
        sql = "SELECT DISTINCT device_factory FROM devices ORDER BY device_factory";
    } else if (index == "SBLX") {
        sql = "SELECT DISTINCT device_type FROM devices ORDER BY device_type";
    } else if (index == "GOODSNAME") {
        std::vector<Choice> goods;
        auto select = db.query("SELECT goods_id, goods_name FROM goods ORDER BY rowid");
        while (select.step()) goods.push_back({select.text(0), select.text(1)});
        return goods;
    } else {
        throw BadRequest{"参数无效: Index"};
    }
    std::vector<Choice> choices;
    auto select = db.query(sql);
    while (select.step()) {
        choices.push_back({static_cast<int64_t>(choices.size() + 1), select.text(0)});
    }
    return choices;
}

nlohmann::json dictionaryReply(const ApiRequest& request, bool goods) {
    const std::string& index = request.form.required("Index");
    if ((index == "GOODSNAME") != goods) throw BadRequest{"参数无效: Index"};
    auto list = nlohmann::json::array();
    for (auto& choice : dictionary(request.db, index)) {
        list.push_back({{"name", std::move(choice.name)}, {"ID", std::move(choice.id)}});
    }
    return {{"list", std::move(list)}};
}

std::string inquiryOf(const ApiRequest& request) {
    for (const char* key : {"askpriceID", "AskPriceID"}) {
        if (request.form.has(key)) return request.form.required(key);
    }
    throw BadRequest{"缺少参数: askpriceID"};
}

constexpr const char* kDeviceColumns =
    "SELECT ask_price_id AS AskPriceID, device_factory AS DeviceFactory, "
    "device_type AS Devicetype, device_number AS DeviceNumber, device_count AS DeviceCount, "
    "device_id AS DeviceID, package_type AS PackageType FROM devices WHERE ask_price_id = ?1 "
    "ORDER BY position";

nlohmann::json askPriceDetail(const ApiRequest& request) {
    const std::string inquiry = inquiryOf(request);
    const std::string engineer = request.form.optional("engineerID").value_or("");
    if (!engineer.empty() &&
        request.db.scalar("SELECT COUNT(*) FROM engineers WHERE user_id = ?", engineer) == 0) {
        throw BadRequest{"工程师不存在"};
    }
    auto select = request.db.query(
        "SELECT i.ask_price_id AS AskPriceID, i.user_name AS UserName, g.goods_name AS GoodsName, "
        "i.goods_id AS GoodsID, i.phone AS Phone, i.implement_city AS ImplementCity, "
        "i.time_limit AS TimeLimit, i.industry_name AS IndustryName, "
        "i.servicesname AS Servicesname, i.hope_start_date AS HopeStartDate, "
        "i.hope_provice AS HopeProvice, i.other_expenses AS OtherExpenses, "
        "i.buy_device_price AS BuyDevicePrice, "
        "(SELECT MIN(price) FROM offers o WHERE o.ask_price_id = i.ask_price_id) AS offerPrice, "
        "i.final_customer AS FinalCustomer, i.implement_place AS ImplementPlace, "
        "i.travel_expense_desc AS TravelExpenseDesc, "
        "i.transportation_type AS TransportationType, i.hotel_type AS HotelType, "
        "i.details_desc AS DetailsDesc, i.ordered AS Ordered "
        "FROM inquiries i JOIN goods g ON g.goods_id = i.goods_id WHERE i.ask_price_id = ?",
        inquiry);
    if (!select.step()) throw BadRequest{"询价不存在"};
    auto reply = rowObject(select);
    const bool closed = reply["Ordered"] != 0;
    reply.erase("Ordered");
    dropNulls(reply);

    auto devices =
        request.db.query(std::string(kDeviceColumns) + " LIMIT ?2", inquiry, kDetailDevices);
    auto list = nlohmann::json::array();
    while (devices.step()) list.push_back(rowObject(devices));
    reply["Device"] = std::move(list);

    if (engineer.empty()) return reply;
    auto offers = request.db.query(
        "SELECT price AS offerPrice, add_date AS AddDate FROM offers "
        "WHERE ask_price_id = ? AND engineer_id = ? ORDER BY offer_id DESC",
        inquiry, engineer);
    auto history = nlohmann::json::array();
    while (offers.step()) history.push_back(rowObject(offers));
    if (history.empty()) return reply;
    reply["LastPrice"] = history.front()["offerPrice"];
    history.erase(history.begin());
    reply["OfferList"] = std::move(history);
    ensureRemarkTable(request.db);
    auto remark = request.db.query(
        "SELECT remark FROM offer_remarks WHERE ask_price_id = ? AND engineer_id = ?", inquiry,
        engineer);
    reply["Remark"] = remark.step() ? remark.text(0) : std::string();
    if (closed) {
        auto order = request.db.query(
            "SELECT money FROM orders WHERE ask_price_id = ? ORDER BY add_date DESC LIMIT 1",
            inquiry);
        if (order.step()) reply["FinalPrice"] = order.integer(0);
    }
    return reply;
}

nlohmann::json deviceList(const ApiRequest& request) {
    const std::string& inquiry = request.form.required("askpriceID");
    if (request.db.scalar("SELECT COUNT(*) FROM inquiries WHERE ask_price_id = ?", inquiry) == 0) {
        throw BadRequest{"询价不存在"};
    }
    const auto page = PageRequest::from(request.form);
    return pagedList(request.db, page, "SELECT COUNT(*) FROM devices WHERE ask_price_id = ?1",
                     kDeviceColumns, inquiry);
}

nlohmann::json notices(const ApiRequest& request) {
    auto select = request.db.query(
        "SELECT notice_name AS NoticeName, detail AS Detail, add_date AS AddDate FROM notices "
        "ORDER BY notice_id");
    auto list = nlohmann::json::array();
    while (select.step()) list.push_back(rowObject(select));
    return {{"List", std::move(list)}};
}

}  // namespace

void registerInquiryScreensEndpoints(ApiRouter& router) {
    router.add("AskPrice/AskPriceDetail", askPriceDetail,
               ApiAccess{ApiAccess::OptionalEngineer, "engineerID"});
    router.add("AskPrice/GetDeviceList", deviceList);
    router.add("AskPrice/GetDictionary",
               [](const ApiRequest& request) { return dictionaryReply(request, false); });
    router.add("AskPrice/GetGoodsName",
               [](const ApiRequest& request) { return dictionaryReply(request, true); });
    router.add("NewsCenter/GetNotice", notices);
}

std::string searchFilterNames(Database& db, const FormBody& form, std::string_view key) {
    const std::string text = form.optional(key).value_or("");
    auto names = nlohmann::json::array();
    if (text.empty()) return names.dump();
    const char* index = key == "IndustryID"     ? "SSHY"
                        : key == "FactoryID"    ? "SBCS"
                        : key == "DeviceTypeID" ? "SBLX"
                                                : "GOODSNAME";
    const auto choices = dictionary(db, index);
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(',', start), text.size());
        const std::string id = text.substr(start, end - start);
        const Choice* found = nullptr;
        for (const auto& choice : choices) {
            const std::string shown =
                choice.id.is_string() ? choice.id.get<std::string>() : choice.id.dump();
            if (shown == id) found = &choice;
        }
        if (!found) throw BadRequest{"参数无效: " + std::string(key)};
        names.push_back(found->name);
        start = end + 1;
    }
    return names.dump();
}

void ensureRemarkTable(Database& db) {
    db.execute(
        "CREATE TABLE IF NOT EXISTS offer_remarks ("
        " ask_price_id TEXT NOT NULL, engineer_id TEXT NOT NULL, remark TEXT NOT NULL,"
        " PRIMARY KEY (ask_price_id, engineer_id))");
}

void seedInquiryScreens(Database& db) {
    ensureRemarkTable(db);
    // The newest open inquiries of an ordinary product and of the catalogue product get eight
    // devices, so that the detail pages its devices more than once.
    std::vector<std::string> many;
    for (const char* sql :
         {"SELECT ask_price_id FROM inquiries WHERE ordered = 0 AND goods_id <> ?1 "
          "ORDER BY add_date DESC LIMIT 2",
          "SELECT ask_price_id FROM inquiries WHERE ordered = 0 AND goods_id = ?1 "
          "ORDER BY add_date DESC LIMIT 1"}) {
        auto select = db.query(sql, kTravelExcludedGoodsId);
        while (select.step()) many.push_back(select.text(0));
    }
    static constexpr const char* kTypes[] = {"交换机", "路由器", "服务器", "防火墙"};
    for (const auto& inquiry : many) {
        const int64_t have =
            db.scalar("SELECT COUNT(*) FROM devices WHERE ask_price_id = ?", inquiry);
        for (int64_t n = have; n < 8; ++n) {
            db.run(
                "INSERT INTO devices (device_id, ask_price_id, device_factory, device_type, "
                "device_number, device_count, package_type, position) "
                "VALUES (?, ?, '恒通科技', ?, ?, ?, '原厂包装', ?)",
                inquiry.substr(0, 24) + "dev" + std::to_string(n), inquiry, kTypes[n % 4],
                "HC-" + std::to_string(1000 + n), n + 1, n);
        }
    }
    // The first seeded engineer quoted the first of them five times, lowering his price.
    const std::string engineer = [&] {
        auto select = db.query("SELECT user_id FROM engineers ORDER BY rowid LIMIT 1");
        return select.step() ? select.text(0) : std::string();
    }();
    if (engineer.empty() || many.empty()) return;
    db.run("DELETE FROM offers WHERE ask_price_id = ? AND engineer_id = ?", many.front(), engineer);
    for (int n = 0; n < 5; ++n) {
        db.run(
            "INSERT INTO offers (ask_price_id, engineer_id, price, add_date) VALUES (?, ?, ?, ?)",
            many.front(), engineer, 5000 - n * 200, "2026-11-2" + std::to_string(n) + " 10:00:00");
    }
    db.run("INSERT INTO offer_remarks (ask_price_id, engineer_id, remark) VALUES (?, ?, ?)",
           many.front(), engineer, "需客户提供机房门禁卡");
}

}  // namespace devserver

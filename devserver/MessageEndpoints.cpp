#include "MessageEndpoints.h"

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "PagedList.h"

namespace devserver {

namespace {

constexpr int kOtherMessageType = 58;

nlohmann::json orderDetail(const ApiRequest& request) {
    const std::string& engineer = request.form.required("brisfoldID");
    requireEngineer(request, engineer);
    const std::string& order = request.form.required("OrderID");
    auto select = request.db.query(
        "SELECT r.order_id AS OrderID, r.ask_price_id AS AskPriceID, i.user_name AS UserName, "
        "g.goods_name AS GoodsName, i.goods_id AS GoodsID, i.implement_city AS City, "
        "r.order_state AS OrderState, r.order_state_id AS OrderStateID, r.is_leave AS IsLeave, "
        "r.is_agree_refund AS IsAgreeRefund, r.contact_telphone AS ContactTelphone, "
        "r.contact_name AS ContactName, i.industry_name AS Industry, "
        "i.servicesname AS Servicesname, i.hope_start_date AS HopeStartDate, "
        "i.hope_provice AS HopeProvice, i.other_expenses AS OtherExpenses, "
        "i.buy_device_price AS BuyDevicePrice, "
        "(SELECT MIN(price) FROM offers o WHERE o.ask_price_id = i.ask_price_id) AS offerPrice, "
        "r.money AS money, i.implement_place AS ImplementPlace, "
        "i.travel_expense_desc AS TravelExpenseDesc, "
        "i.transportation_type AS TransportationType, i.hotel_type AS HotelType, "
        "i.details_desc AS DetailsDesc, r.comment_detail AS CommentDetail "
        "FROM orders r JOIN inquiries i ON i.ask_price_id = r.ask_price_id "
        "JOIN goods g ON g.goods_id = i.goods_id WHERE r.order_id = ? AND r.engineer_id = ?",
        order, engineer);
    // Another engineer's order is not his to see, and is answered as one that does not exist.
    if (!select.step()) throw BadRequest{"订单不存在"};
    auto reply = rowObject(select);
    dropNulls(reply);
    if (reply.value("CommentDetail", "") == "") reply.erase("CommentDetail");
    const std::string inquiry = reply["AskPriceID"].get<std::string>();

    auto offers = request.db.query(
        "SELECT price AS offerPrice, add_date AS AddDate FROM offers WHERE ask_price_id = ? "
        "ORDER BY add_date, offer_id",
        inquiry);
    auto history = nlohmann::json::array();
    while (offers.step()) history.push_back(rowObject(offers));
    reply["OfferList"] = std::move(history);

    auto devices = request.db.query(
        "SELECT ask_price_id AS AskPriceID, device_factory AS DeviceFactory, "
        "device_type AS Devicetype, device_number AS DeviceNumber, device_count AS DeviceCount, "
        "device_id AS DeviceID, package_type AS PackageType FROM devices WHERE ask_price_id = ? "
        "ORDER BY position LIMIT ?",
        inquiry, kDetailDevices);
    auto list = nlohmann::json::array();
    while (devices.step()) list.push_back(rowObject(devices));
    reply["Device"] = std::move(list);
    return reply;
}

nlohmann::json newsList(const ApiRequest& request) {
    const std::string& engineer = request.form.required("UserOrEngineerID");
    requireEngineer(request, engineer);
    const std::string before = lastDateTime(request.form);
    const auto page = PageRequest::from(request.form);
    constexpr const char* kFilter = " WHERE engineer_id = ?1 AND (?2 = '' OR add_date < ?2)";
    return pagedList(request.db, page, std::string("SELECT COUNT(*) FROM messages") + kFilter,
                     std::string("SELECT news_id AS NewsID, news_type_id AS NewsTypeID, "
                                 "news_type AS NewsType, content AS Content, is_read AS IsRead, "
                                 "add_date AS AddDate, resource_id AS ResourceID FROM messages") +
                         kFilter + " ORDER BY add_date DESC, news_id",
                     engineer, before);
}

const std::string& knownMessage(const ApiRequest& request, const char* key) {
    const std::string& id = request.form.required(key);
    // Another engineer's message is as unknown as one that never was.
    if (request.db.scalar("SELECT COUNT(*) FROM messages WHERE news_id = ? AND engineer_id = ?", id,
                          request.sessionEngineer) == 0) {
        throw BadRequest{"消息不存在"};
    }
    return id;
}

nlohmann::json newsIsRead(const ApiRequest& request) {
    const std::string& id = knownMessage(request, "newsID");
    // A notice stays unread: it is the platform's, not the engineer's.
    request.db.run("UPDATE messages SET is_read = 1 WHERE news_id = ? AND news_type_id <> -1", id);
    return {{"code", "1"}};
}

nlohmann::json deleteNews(const ApiRequest& request) {
    const std::string& id = knownMessage(request, "NewsID");
    request.db.run("DELETE FROM messages WHERE news_id = ?", id);
    return actionReply(true, "删除成功");
}

}  // namespace

void registerMessageEndpoints(ApiRouter& router) {
    router.add("Order/OrderDetail", orderDetail, ApiAccess{ApiAccess::Engineer, "brisfoldID"});
    router.add("NewsCenter/Index", newsList, ApiAccess{ApiAccess::Engineer, "UserOrEngineerID"});
    router.add("NewsCenter/NewsIsRead", newsIsRead, ApiAccess{ApiAccess::Session});
    router.add("NewsCenter/DeleteNews", deleteNews, ApiAccess{ApiAccess::Session});
}

void seedMessageScreens(Database& db) {
    std::vector<std::pair<std::string, std::string>> engineers;
    auto select = db.query("SELECT user_id, engineer_no FROM engineers ORDER BY user_id");
    while (select.step()) engineers.emplace_back(select.text(0), select.text(1));
    int serial = 0;
    for (const auto& [engineer, number] : engineers) {
        auto newest = db.query(
            "SELECT ask_price_id FROM orders WHERE engineer_id = ? AND order_state_id = 18 "
            "ORDER BY add_date DESC LIMIT 1",
            engineer);
        if (!newest.step()) continue;
        const std::string inquiry = newest.text(0);
        const int64_t offers =
            db.scalar("SELECT COUNT(*) FROM offers WHERE ask_price_id = ?", inquiry);
        for (int64_t n = offers; n < 5; ++n) {
            db.run(
                "INSERT INTO offers (ask_price_id, engineer_id, price, add_date) "
                "VALUES (?, ?, ?, ?)",
                inquiry, "bidder-" + number + "-" + std::to_string(n), 9000 + n * 700,
                "2026-11-0" + std::to_string(n + 1) + " 09:30:00.000");
        }
        const int64_t devices =
            db.scalar("SELECT COUNT(*) FROM devices WHERE ask_price_id = ?", inquiry);
        static constexpr const char* kMakers[] = {"华为", "中兴", "新华三", "锐捷",
                                                  "思科", "烽火", "迈普"};
        for (int64_t d = devices; d < 7; ++d) {
            db.run(
                "INSERT INTO devices (device_id, ask_price_id, device_factory, device_type, "
                "device_number, device_count, package_type, position) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                inquiry + "-d" + std::to_string(d), inquiry, kMakers[d], "交换机",
                "S" + std::to_string(5700 + d * 10), d + 1, "标准包", d);
        }
        db.run(
            "INSERT INTO messages (news_id, engineer_id, news_type_id, news_type, content, "
            "resource_id, is_read, add_date) VALUES (?, ?, ?, ?, ?, '', 0, ?)",
            "other-" + std::to_string(++serial), engineer, kOtherMessageType, "系统消息",
            "您的账户资料已通过审核。", "2026-11-29 18:00:00.500");
    }
}

}  // namespace devserver

#include "AskPriceEndpoints.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <regex>
#include <string>

#include "InquiryScreensEndpoints.h"
#include "PagedList.h"
#include "SeedData.h"

namespace devserver {

namespace {

// Which inquiries a list holds for the engineer, by "IsOffer".
enum class ListKind : int64_t {
    Open = 0,    // every open inquiry
    Quoted = 1,  // open inquiries he has quoted
    NotWon = 2,  // closed inquiries he quoted and another engineer won
};

// ?1 is the engineer and ?2 the "lastDateTime" bound, in both the count and the select. Both
// are bound to each: SQLite counts parameters up to the highest named, so ?1 may go unused.
// ?3 to ?6 are the search's chosen industries, device makers, device types and products, each
// a JSON array of names ("[]": no choice).
std::string listFilter(ListKind kind) {
    constexpr const char* kQuotedByHim =
        "EXISTS (SELECT 1 FROM offers o WHERE o.ask_price_id = i.ask_price_id AND "
        "o.engineer_id = ?1)";
    std::string filter =
        " WHERE (?2 = '' OR i.add_date < ?2)"
        " AND (?3 = '[]' OR i.industry_name IN (SELECT value FROM json_each(?3)))"
        " AND (?4 = '[]' OR EXISTS (SELECT 1 FROM devices d WHERE d.ask_price_id = "
        "i.ask_price_id AND d.device_factory IN (SELECT value FROM json_each(?4))))"
        " AND (?5 = '[]' OR EXISTS (SELECT 1 FROM devices d WHERE d.ask_price_id = "
        "i.ask_price_id AND d.device_type IN (SELECT value FROM json_each(?5))))"
        " AND (?6 = '[]' OR i.goods_id IN (SELECT goods_id FROM goods WHERE goods_name IN "
        "(SELECT value FROM json_each(?6)))) AND ";
    switch (kind) {
        case ListKind::Open:
            return filter + "i.ordered = 0";
        case ListKind::Quoted:
            return filter + "i.ordered = 0 AND " + kQuotedByHim;
        case ListKind::NotWon:
            return filter + "i.ordered = 1 AND " + kQuotedByHim +
                   " AND NOT EXISTS (SELECT 1 FROM orders r WHERE r.ask_price_id = "
                   "i.ask_price_id AND r.engineer_id = ?1)";
    }
    return filter;
}

// The keys the app reads from a list element; the engineer's own last quotation is
// "LastProvice" in the home list and "LastPrice" in the quotation lists.
std::string listSelect(ListKind kind) {
    const char* lastPriceKey = kind == ListKind::Open ? "LastProvice" : "LastPrice";
    return std::string(
               "SELECT i.ask_price_id AS AskPriceID, i.user_name AS UserName, "
               "g.goods_name AS GoodsName, i.goods_id AS GoodsID, i.add_date AS AddDate, "
               "i.implement_city AS ImplementCity, i.time_limit AS TimeLimit, "
               "(SELECT MIN(price) FROM offers o WHERE o.ask_price_id = i.ask_price_id) "
               "AS offerPrice, "
               "(SELECT price FROM offers o WHERE o.ask_price_id = i.ask_price_id AND "
               "o.engineer_id = ?1 ORDER BY o.offer_id DESC LIMIT 1) AS ") +
           lastPriceKey +
           ", i.hope_start_date AS HopeStartDate, i.details_desc AS DetailsDesc, "
           "i.device_factory AS DeviceFactory, i.hope_provice AS HopeProvice, "
           "i.implement_place AS ImplementPlace, i.industry_name AS IndustryName, "
           "i.phone AS Phone, i.servicesname AS Servicesname "
           "FROM inquiries i JOIN goods g ON g.goods_id = i.goods_id" +
           listFilter(kind) + " ORDER BY i.add_date DESC, i.ask_price_id";
}

nlohmann::json askPriceList(const ApiRequest& request) {
    const std::string& engineer = knownEngineer(request);
    const auto kind = static_cast<ListKind>(request.form.integer("IsOffer", 0, 0, 2));
    const std::string before = lastDateTime(request.form);
    const auto page = PageRequest::from(request.form);
    const std::string industries = searchFilterNames(request.db, request.form, "IndustryID");
    const std::string makers = searchFilterNames(request.db, request.form, "FactoryID");
    const std::string types = searchFilterNames(request.db, request.form, "DeviceTypeID");
    const std::string goods = searchFilterNames(request.db, request.form, "GoodsID");
    auto reply = pagedList(request.db, page, "SELECT COUNT(*) FROM inquiries i" + listFilter(kind),
                           listSelect(kind), engineer, before, industries, makers, types, goods);
    // A value the inquiry does not have (no quotation yet, no expected price) is left out, as
    // the app expects of the real server, rather than sent as null.
    for (auto& element : reply["List"]) {
        for (auto it = element.begin(); it != element.end();) {
            it = it->is_null() ? element.erase(it) : std::next(it);
        }
    }
    return reply;
}

// Yuan with at most two decimals, as typed on the number pad; the amount in fen. Zero is a
// quotation too: the amount pop-up tells the engineer to enter "0" when nothing is needed.
std::optional<int64_t> amountInFen(const std::string& text) {
    static const std::regex kShape(R"((\d{1,9})(?:\.(\d{1,2}))?)");
    std::smatch parts;
    if (!std::regex_match(text, parts, kShape)) return std::nullopt;
    int64_t fen = std::stoll(parts[1].str()) * 100;
    if (parts[2].matched) {
        const std::string decimals = parts[2].str();
        fen += std::stoll(decimals) * (decimals.size() == 1 ? 10 : 1);
    }
    return fen;
}

std::string now() {
    const auto time = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis.count()));
    return buffer;
}

nlohmann::json engineerPrice(const ApiRequest& request) {
    const std::string& engineer = knownEngineer(request);
    const std::string& inquiry = request.form.required("askpriceID");
    bool travelExcluded = false;
    {
        auto found = request.db.query(
            "SELECT goods_id, ordered FROM inquiries WHERE ask_price_id = ?", inquiry);
        if (!found.step()) throw BadRequest{"询价不存在"};
        if (found.integer(1) != 0) throw BadRequest{"询价已结束，不能再报价"};
        travelExcluded = found.text(0) == kTravelExcludedGoodsId;
    }

    const auto fen = amountInFen(request.form.required("price"));
    if (!fen) throw BadRequest{"报价金额无效，请填写金额(最多两位小数)"};

    // The travel screen sends both; only a price that excludes travel costs has them.
    std::string transport;
    std::string hotel;
    if (request.form.has("transID") || request.form.has("hotelID")) {
        transport = request.form.required("transID");
        hotel = request.form.required("hotelID");
        if (!travelExcluded) throw BadRequest{"该询价的报价已包含差旅费，无需选择交通和住宿"};
    }

    // The quotation detail sends the engineer's current price again with an edited remark:
    // that is no new quotation, only the remark changes.
    if (const auto remark = request.form.optional("remark")) {
        ensureRemarkTable(request.db);
        request.db.run(
            "INSERT INTO offer_remarks (ask_price_id, engineer_id, remark) VALUES (?, ?, ?) "
            "ON CONFLICT (ask_price_id, engineer_id) DO UPDATE SET remark = excluded.remark",
            inquiry, engineer, *remark);
        auto last = request.db.query(
            "SELECT price FROM offers WHERE ask_price_id = ? AND engineer_id = ? "
            "ORDER BY offer_id DESC LIMIT 1",
            inquiry, engineer);
        if (last.step() && std::llround(last.real(0) * 100) == *fen) {
            return actionReply(true, "备注已保存");
        }
    }

    auto insert = request.db.query(
        "INSERT INTO offers (ask_price_id, engineer_id, price, trans_id, hotel_id, add_date) "
        "VALUES (?, ?, ?, ?, ?, ?)",
        inquiry, engineer);
    // Whole yuan stay integers, so that the lists show "1200" rather than "1200.0".
    if (*fen % 100 == 0) {
        insert.bind(3, *fen / 100);
    } else {
        insert.bind(3, static_cast<double>(*fen) / 100.0);
    }
    insert.bind(4, transport).bind(5, hotel).bind(6, now());
    while (insert.step()) {
    }
    return actionReply(true, "报价成功");
}

}  // namespace

void registerAskPriceEndpoints(ApiRouter& router) {
    router.add("AskPrice/AskPriceList", askPriceList, ApiAccess{ApiAccess::Engineer, "brisfoldID"});
    router.add("AskPrice/EngineerPrice", engineerPrice,
               ApiAccess{ApiAccess::Engineer, "brisfoldID"});
}

}  // namespace devserver

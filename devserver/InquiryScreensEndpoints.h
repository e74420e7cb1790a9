#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "ApiRouter.h"
#include "Database.h"
#include "FormBody.h"

namespace devserver {

// "AskPrice/AskPriceDetail": "engineerID" (optional), "askpriceID" (or "AskPriceID" as the
// message centre sends it). The inquiry with its first three devices; for an engineer who
// quoted also "LastPrice", "OfferList" (his earlier prices, newest first), "Remark", and once
// the inquiry is closed "FinalPrice".
// "AskPrice/GetDeviceList": "askpriceID", "rows", "pageindex": the inquiry's devices in pages.
// "AskPrice/GetDictionary": "Index" "SSHY" (industries), "SBCS" (device makers) or "SBLX"
// (device types); "AskPrice/GetGoodsName": "Index" "GOODSNAME". Each {"list":[{"name","ID"}]}.
// "NewsCenter/GetNotice": no keys; {"List":[{"NoticeName","Detail"}]}.
void registerInquiryScreensEndpoints(ApiRouter& router);

// The names that the comma-separated IDs of a search filter key stand for, as a JSON array
// text for json_each(); "[]" when the key is absent or empty. An unknown ID is a BadRequest.
std::string searchFilterNames(Database& db, const FormBody& form, std::string_view key);

// Where an engineer's remark on his quotation of an inquiry is kept.
void ensureRemarkTable(Database& db);

// Adds what the inquiry screens show off to a freshly seeded file: inquiries with eight
// devices, and one the first seeded engineer quoted five times, with a remark.
void seedInquiryScreens(Database& db);

}  // namespace devserver

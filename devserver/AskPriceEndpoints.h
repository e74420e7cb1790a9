#pragma once

#include "ApiRouter.h"

namespace devserver {

// "AskPrice/AskPriceList": keys "brisfoldID", "IsOffer", "rows", "pageindex", "lastDateTime",
// and from the search "IndustryID", "FactoryID", "DeviceTypeID", "GoodsID" (IDs joined by ",").
// "AskPrice/EngineerPrice": keys "brisfoldID", "askpriceID", "price", and from the travel
// screen "transID", "hotelID"; from the quotation detail a last "remark", kept for the engineer's
// quotation (the price he already quoted adds no new quotation).
void registerAskPriceEndpoints(ApiRouter& router);

}  // namespace devserver

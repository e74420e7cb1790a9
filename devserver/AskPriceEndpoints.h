#pragma once

#include "ApiRouter.h"

namespace devserver {

// "AskPrice/AskPriceList": keys "brisfoldID", "IsOffer", "rows", "pageindex", "lastDateTime".
// "AskPrice/EngineerPrice": keys "brisfoldID", "askpriceID", "price", and from the travel
// screen "transID", "hotelID".
void registerAskPriceEndpoints(ApiRouter& router);

}  // namespace devserver

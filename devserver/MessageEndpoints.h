#pragma once

#include "ApiRouter.h"
#include "Database.h"

namespace devserver {

// "Order/OrderDetail": keys "brisfoldID", "OrderID"; one of the engineer's orders whole, with
// the inquiry behind it, its earlier prices ("OfferList") and its first three devices.
// "NewsCenter/Index": keys "UserOrEngineerID", "rows", "pageindex", optional "lastDateTime";
// the engineer's messages, newest first.
// "NewsCenter/NewsIsRead": key "newsID". "NewsCenter/DeleteNews": key "NewsID".
void registerMessageEndpoints(ApiRouter& router);

// Gives one waiting order of each engineer five earlier prices and seven devices, and each
// engineer a message of a type the app opens nothing for.
void seedMessageScreens(Database& db);

}  // namespace devserver

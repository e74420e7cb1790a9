#pragma once

#include "ApiRouter.h"

namespace devserver {

// "Order/OrderList": keys "brisfoldID", "rows", "pageindex", optional "OrderStateID" (18 to 22)
// and "lastDateTime".
// "Order/EngineerStart", "Order/StartImplement", "Order/EngineerFinish": keys "brisfoldID",
// "OrderID", "LeaveAddress"; each moves one of the engineer's orders one state on (18 to 19, 19
// to 20, 20 to 21) and keeps the address.
// "Order/CancelService": keys "brisfoldID", "orderID", and for a compensation claim
// "refundPrice" and "reason"; settles a cancelled order the engineer had left for.
void registerOrderEndpoints(ApiRouter& router);

}  // namespace devserver

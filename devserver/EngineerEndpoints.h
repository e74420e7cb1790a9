#pragma once

#include <functional>

#include "ApiRouter.h"

namespace devserver {

// "Engineer/Login": keys "UserName", "PassWord"; a success opens a session. beforePasswordCheck
// (may be empty) runs before each password check, outside the data lock.
// "Engineer/Logout": key "brisfoldID", the session's engineer; ends the session the request
// carries.
void registerEngineerEndpoints(ApiRouter& router, std::function<void()> beforePasswordCheck);

}  // namespace devserver

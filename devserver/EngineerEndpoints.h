#pragma once

#include "ApiRouter.h"

namespace devserver {

// "Engineer/Login": keys "UserName", "PassWord".
void registerEngineerEndpoints(ApiRouter& router);

}  // namespace devserver

#pragma once

#include "ACEReachability.h"

// The kind of connection the default route offers: 0 none, 1 Wi-Fi or plain, 2 mobile data.
class VMMapReachability {
  public:
    static ACENetworkStatus currentNetworkType();
};

#include "VMMapReachability.h"

ACENetworkStatus VMMapReachability::currentNetworkType() {
    sockaddr_in zero{};
    zero.sin_family = AF_INET;
    const auto ref = SCNetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&zero));
    SCNetworkReachabilityFlags flags = 0;
    if (!ref || !ref->getFlags(flags)) {
        return ACENotReachable;
    }
    return ACEReachability::networkStatusForFlags(flags);
}

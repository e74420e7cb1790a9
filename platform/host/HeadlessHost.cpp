#include "HeadlessHost.h"

#include "Foundation/NSRunLoop.h"

bool HeadlessHost::pump(double maxWait) {
    NSRunLoop::mainRunLoop()->runOnce(maxWait);
    return true;
}

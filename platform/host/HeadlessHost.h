#pragma once

#include "host/Host.h"

// A screen without a display: nothing is shown, tests post touches and keys and step the
// main run loop, and screenshots are composed on demand.
class HeadlessHost : public Host {
  public:
    HeadlessHost() = default;

  protected:
    bool pump(double maxWait) override;
};

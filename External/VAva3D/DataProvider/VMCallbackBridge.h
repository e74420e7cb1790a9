#pragma once

#include <cstdint>

#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"

// Where the data provider reports its requests: the renderer's bridge passes them to the
// renderer's delegate. The start report comes from the requesting thread, the others from the
// download thread. Every method is optional.
class VMCallbackBridge : public NSObject {
  public:
    virtual void triggerWillStartLoading() {}
    virtual void triggerFinishLoadingWithDataSize(std::uint64_t /*bytes*/) {}
    virtual void triggerFailLoadingWithError(const NSError& /*error*/) {}
};

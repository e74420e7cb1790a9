#pragma once

#include <memory>

#include "VMCallbackBridge.h"

class VURI1Vovure;

// Passes the data provider's loading reports, from any thread, to the renderer's delegate on the
// main queue, while the renderer and its delegate exist.
class VURI1VovureCallbackBridge final : public VMCallbackBridge {
  public:
    static std::shared_ptr<VURI1VovureCallbackBridge> create(std::weak_ptr<VURI1Vovure> render);

    void triggerWillStartLoading() override;
    void triggerFinishLoadingWithDataSize(std::uint64_t bytes) override;
    void triggerFailLoadingWithError(const NSError& error) override;

  private:
    explicit VURI1VovureCallbackBridge(std::weak_ptr<VURI1Vovure> render)
        : render_(std::move(render)) {}

    const std::weak_ptr<VURI1Vovure> render_;
};

#include "VURI1VovureCallbackBridge.h"

#include <algorithm>
#include <limits>

#include "VURI1Vovure.h"

namespace {

std::shared_ptr<VURI1VovureDelegate> delegateOf(const std::weak_ptr<VURI1Vovure>& render) {
    const auto renderer = render.lock();
    return renderer ? renderer->delegate() : nullptr;
}

}  // namespace

std::shared_ptr<VURI1VovureCallbackBridge> VURI1VovureCallbackBridge::create(
    std::weak_ptr<VURI1Vovure> render) {
    return std::shared_ptr<VURI1VovureCallbackBridge>(
        new VURI1VovureCallbackBridge(std::move(render)));
}

void VURI1VovureCallbackBridge::triggerWillStartLoading() {
    if (const auto d = delegateOf(render_)) d->willStartLoading();
}

void VURI1VovureCallbackBridge::triggerFinishLoadingWithDataSize(std::uint64_t bytes) {
    const auto size =
        static_cast<uint32_t>(std::min<std::uint64_t>(bytes, std::numeric_limits<uint32_t>::max()));
    if (const auto d = delegateOf(render_)) d->didFinishLoadingWithDataSize(size);
}

void VURI1VovureCallbackBridge::triggerFailLoadingWithError(const NSError& error) {
    if (const auto d = delegateOf(render_)) d->didFailLoadingWithError(error);
}

#include "VURI1VovureCallbackBridge.h"

#include <algorithm>
#include <limits>

#include "Foundation/Dispatch.h"
#include "VURI1Vovure.h"

namespace {

// The reports come on download threads. The renderer and its delegate, the map view, are looked
// up on the main thread: held for a moment on a download thread, they would be destroyed there,
// GL teardown included, when their owner let go of them meanwhile.
void reportOnMain(const std::weak_ptr<VURI1Vovure>& render,
                  std::function<void(VURI1VovureDelegate&)> send) {
    DispatchQueue::main()->async([render, send = std::move(send)] {
        const auto renderer = render.lock();
        if (const auto d = renderer ? renderer->delegate() : nullptr) send(*d);
    });
}

}  // namespace

std::shared_ptr<VURI1VovureCallbackBridge> VURI1VovureCallbackBridge::create(
    std::weak_ptr<VURI1Vovure> render) {
    return std::shared_ptr<VURI1VovureCallbackBridge>(
        new VURI1VovureCallbackBridge(std::move(render)));
}

void VURI1VovureCallbackBridge::triggerWillStartLoading() {
    reportOnMain(render_, [](VURI1VovureDelegate& d) { d.willStartLoading(); });
}

void VURI1VovureCallbackBridge::triggerFinishLoadingWithDataSize(std::uint64_t bytes) {
    const auto size =
        static_cast<uint32_t>(std::min<std::uint64_t>(bytes, std::numeric_limits<uint32_t>::max()));
    reportOnMain(render_, [size](VURI1VovureDelegate& d) { d.didFinishLoadingWithDataSize(size); });
}

void VURI1VovureCallbackBridge::triggerFailLoadingWithError(const NSError& error) {
    reportOnMain(render_, [error](VURI1VovureDelegate& d) { d.didFailLoadingWithError(error); });
}

// Arbitrary bytes as a list reply of the app (here the order list): the screen takes it or
// ignores it, and its page counters hold what the shared reading of counters gives.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "FuzzCheck.h"
#include "orders/OrderMiddleViewController.h"
#include "shell/PullUpPager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto reply = nlohmann::json::parse(data, data + size, nullptr, false);
    // An answer with "code" answers an action and may ask the server again: not a page.
    if (reply.is_discarded() || !reply.is_object() || reply.contains("code")) return 0;
    static const auto screen = OrderMiddleViewController::create({});
    screen->updateDataWithDictionary(reply);
    FUZZ_CHECK(screen->pageIndex() == PullUpPager::counter(reply, "pageindex"));
    FUZZ_CHECK(screen->totalPageNum() == PullUpPager::counter(reply, "totalPages"));
    FUZZ_CHECK(screen->rowsOfOnePage() == PullUpPager::counter(reply, "rows"));
    FUZZ_CHECK(screen->totalRowCount() == PullUpPager::counter(reply, "totalCount"));
    return 0;
}

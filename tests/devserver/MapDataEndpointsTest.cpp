#include <string>

#include "DevServerFixture.h"
#include "MapDataEndpoints.h"

namespace devserver::test {
namespace {

using MapDataRequestLogTest = DevServerFixture;

// A server that runs for long keeps the newest requests only, however many and long they were.
TEST_F(MapDataRequestLogTest, RequestsAreKeptWithinTheirBoundNewestLast) {
    // Heads of 30 KiB, near the most the server takes: 1.2 MiB in all.
    const std::string pad(7 * 1024, 'p');
    const httplib::Headers padded = {{"X-Pad-1", pad}, {"X-Pad-2", pad}, {"X-Pad-3", pad}};
    constexpr int kSent = 40;
    auto http = client();
    for (int i = 0; i < kSent; ++i) {
        const std::string target = "/ws/mps/vmap?i=" + std::to_string(i) + "&p=" + pad;
        ASSERT_EQ(statusOf(http.Get(target, padded)), 400);
    }

    const auto kept = server_->mapData().requests();
    std::size_t bytes = 0;
    for (const auto& record : kept) {
        bytes += record.target.size();
        for (const auto& [name, value] : record.headers) bytes += name.size() + value.size();
    }
    EXPECT_LE(bytes, MapDataEndpoints::kKeptRequestBytes);
    ASSERT_GT(kept.size(), 2u);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const auto i = kSent - static_cast<int>(kept.size() - k);
        EXPECT_EQ(kept[k].target.rfind("/ws/mps/vmap?i=" + std::to_string(i) + "&", 0), 0u);
    }
}

}  // namespace
}  // namespace devserver::test

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "Deadline.h"
#include "Gate.h"

namespace testsupport {
namespace {

TEST(Gate, HoldsUntilAdmittedOrOpenedAndLetsEveryoneGoWhenItGoes) {
    auto gate = std::make_unique<Gate>();
    std::atomic<int> through{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            gate->pass();
            ++through;
        });
    }
    ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 3; }));
    gate->admit(1);
    ASSERT_TRUE(waitUntil([&] { return through == 1; }));
    EXPECT_EQ(gate->waiting(), 2u);
    gate.reset();
    for (auto& t : threads) t.join();
    EXPECT_EQ(through, 3);
}

}  // namespace
}  // namespace testsupport

#include <chrono>
#include <string>

#include "DevServerFixture.h"
#include "RawConnection.h"
#include "SeedData.h"
#include "UploadFlood.h"

namespace devserver::test {
namespace {

// Run by BodyFloodTest in a process of its own, until it is ended.
TEST(BodyFloodChild, DISABLED_Floods) {
    ASSERT_TRUE(raiseDescriptorLimit(testsupport::kUploadFloods[1].clients + 64));
    testsupport::floodAsAsked();
    FAIL() << "no flood asked for";
}

// The app's request time-out: a sign-in answered later is one the app gave up on. How long the
// sign-ins take is bench/DevServerSignInBench's measure.
constexpr auto kSignInDeadline = std::chrono::seconds(10);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Sign-ins one after another while the flood presses for this long, at least this many.
constexpr auto kFloodFor = std::chrono::seconds(3);
constexpr int kSignIns = 10;
#else
// Under the sanitizers the same sign-ins take five times as long beside the flood; the first ones
// are the check there.
constexpr auto kFloodFor = std::chrono::seconds(0);
constexpr int kSignIns = 2;
#endif

class BodyFloodTest : public DevServerFixture {};

// Clients that send bodies as fast as they can, from a process of their own, leave every sign-in
// answered, on its connection, within the app's time-out.
TEST_F(BodyFloodTest, SignInsBesideBodiesSentAtFullSpeedAreAnsweredWithinTheirTimeOut) {
    ASSERT_TRUE(raiseDescriptorLimit(2 * testsupport::kUploadFloods[1].clients + 256));
    // Its connection bound follows the limit it starts with.
    auto options = testOptions();
    // Each refused upload is logged.
    options.log = [](const std::string&) {};
    restart(options);
    for (const auto& kind : testsupport::kUploadFloods) {
        SCOPED_TRACE(kind.name);
        const auto flood =
            testsupport::startUploadFlood({"/proc/self/exe", "--gtest_also_run_disabled_tests",
                                           "--gtest_filter=BodyFloodChild.DISABLED_Floods"},
                                          server_->port(), kind);
        ASSERT_TRUE(flood) << "the flood did not start";
        const auto until = std::chrono::steady_clock::now() + kFloodFor;
        for (int i = 0; i < kSignIns || std::chrono::steady_clock::now() < until; ++i) {
            const auto signIn =
                testsupport::timedSignIn(server_->port(), kSeedEngineers[1].userName,
                                         kSeedEngineers[1].password, kSignInDeadline);
            ASSERT_EQ(signIn.status, 200) << signIn.error << " after " << signIn.seconds << " s";
            EXPECT_EQ(nlohmann::json::parse(signIn.body, nullptr, false)["code"], "1");
            EXPECT_LT(signIn.seconds, kSignInDeadline.count());
        }
        flood->stop();
    }
}

}  // namespace
}  // namespace devserver::test

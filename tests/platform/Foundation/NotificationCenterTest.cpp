#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSNotificationCenter.h"

namespace {

class Sender : public NSObject {
  public:
    static std::shared_ptr<Sender> create() { return std::shared_ptr<Sender>(new Sender()); }
};

class Watcher : public NSObject {
  public:
    static std::shared_ptr<Watcher> create() { return std::shared_ptr<Watcher>(new Watcher()); }
    void seen(const NSNotification& note) { names.push_back(note.name); }
    std::vector<std::string> names;
};

TEST(NotificationCenterTest, DeliversToMatchingNamesAndSendersUntilRemoved) {
    auto center = NSNotificationCenter::create();
    auto s1 = Sender::create();
    auto s2 = Sender::create();
    std::vector<std::string> fromS1;
    std::vector<std::string> all;
    nlohmann::json info;
    center->addObserverForName("NewDataOperation_Finished", s1, [&](const NSNotification& n) {
        fromS1.push_back(n.name);
        info = n.userInfo;
    });
    center->addObserverForName("", nullptr,
                               [&](const NSNotification& n) { all.push_back(n.name); });

    center->postNotificationName("NewDataOperation_Finished", s1, {{"size", 12}});
    EXPECT_EQ(fromS1.size(), 1u) << "delivery is synchronous";
    EXPECT_EQ(info, (nlohmann::json{{"size", 12}}));
    center->postNotificationName("NewDataOperation_Finished", s2);
    center->postNotificationName("NewDataOperation_Finished");
    center->postNotificationName("Other", s1);

    EXPECT_EQ(fromS1.size(), 1u);
    EXPECT_EQ(all,
              (std::vector<std::string>{"NewDataOperation_Finished", "NewDataOperation_Finished",
                                        "NewDataOperation_Finished", "Other"}));

    // Removal by token, by observer, and by observer and name.
    auto watcher = Watcher::create();
    auto record = [](Watcher& w, const NSNotification& n) { w.seen(n); };
    center->addObserver<Watcher>(watcher, "A", nullptr, record);
    center->addObserver<Watcher>(watcher, "B", nullptr, record);
    int blockCalls = 0;
    const auto token = center->addObserverForName("A", nullptr, [&](auto&) { ++blockCalls; });

    center->removeObserver(token);
    center->removeObserver(watcher.get(), "A");
    center->postNotificationName("A");
    center->postNotificationName("B");
    EXPECT_EQ(blockCalls, 0);
    EXPECT_EQ(watcher->names, (std::vector<std::string>{"B"}));

    center->removeObserver(watcher.get());
    center->postNotificationName("B");
    EXPECT_EQ(watcher->names, (std::vector<std::string>{"B"}));

    // Removed while a post is under way: the later observer is not called by that post.
    int laterCalls = 0;
    NSNotificationCenter::Token later = 0;
    center->addObserverForName("C", nullptr, [&](auto&) { center->removeObserver(later); });
    later = center->addObserverForName("C", nullptr, [&](auto&) { ++laterCalls; });
    center->postNotificationName("C");
    EXPECT_EQ(laterCalls, 0);
}

TEST(NotificationCenterTest, ObserverWhoseOwnerIsGoneIsNeverCalledAndIsDropped) {
    auto center = NSNotificationCenter::create();
    auto watcher = Watcher::create();
    auto sentinel = std::make_shared<int>(0);
    int calls = 0;
    center->addObserver<Watcher>(watcher, "Ping", nullptr,
                                 [&calls, sentinel](Watcher& w, const NSNotification& n) {
                                     ++calls;
                                     w.seen(n);
                                 });
    center->postNotificationName("Ping");
    EXPECT_EQ(watcher->names, (std::vector<std::string>{"Ping"}));
    EXPECT_EQ(sentinel.use_count(), 2);

    watcher.reset();
    center->postNotificationName("Ping");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(sentinel.use_count(), 1) << "the dead observer's handler is still registered";

    // A sender filter holds its sender weakly and dies with it.
    auto sender = Sender::create();
    int filtered = 0;
    center->addObserverForName("Ping", sender, [&](const NSNotification&) { ++filtered; });
    sender.reset();
    center->postNotificationName("Ping", Sender::create());
    EXPECT_EQ(filtered, 0);
}

TEST(NotificationCenterTest, PostsFromOtherThreadsArriveOnThePostingThread) {
    auto center = NSNotificationCenter::defaultCenter();
    std::atomic<int> delivered{0};
    std::atomic<int> wrongThread{0};
    thread_local int poster = -1;  // which test thread this is
    const auto token = center->addObserverForName("kACENetworkReachabilityChangedNotification",
                                                  nullptr, [&](const NSNotification& n) {
                                                      if (n.userInfo.at("poster") != poster)
                                                          ++wrongThread;
                                                      ++delivered;
                                                  });
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&, t] {
            poster = t;
            for (int i = 0; i < 500; ++i)
                center->postNotificationName("kACENetworkReachabilityChangedNotification", nullptr,
                                             {{"poster", t}});
        });
    }
    // Registrations churn meanwhile; none of them may disturb delivery.
    for (int i = 0; i < 200; ++i)
        center->removeObserver(center->addObserverForName("Churn", nullptr, [](auto&) {}));
    for (auto& t : posters) t.join();
    center->removeObserver(token);

    EXPECT_EQ(delivered.load(), 2000);
    EXPECT_EQ(wrongThread.load(), 0);
}

}  // namespace

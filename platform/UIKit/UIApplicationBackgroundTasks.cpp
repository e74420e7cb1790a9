#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "Foundation/Dispatch.h"
#include "UIKit/UIApplication.h"

namespace {

// One application per process, so its tasks live here rather than in every header user's view
// of the class.
struct BackgroundTasks {
    std::mutex mutex;
    UIBackgroundTaskIdentifier next = UIBackgroundTaskInvalid;
    std::map<UIBackgroundTaskIdentifier, std::function<void()>> handlers;
};

BackgroundTasks& tasks() {
    static BackgroundTasks instance;
    return instance;
}

}  // namespace

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithExpirationHandler(
    std::function<void()> handler) {
    auto& t = tasks();
    std::lock_guard lock(t.mutex);
    const UIBackgroundTaskIdentifier id = ++t.next;
    t.handlers.emplace(id, std::move(handler));
    return id;
}

void UIApplication::endBackgroundTask(UIBackgroundTaskIdentifier identifier) {
    auto& t = tasks();
    std::lock_guard lock(t.mutex);
    t.handlers.erase(identifier);
}

void UIApplication::expireBackgroundTasks() {
    std::vector<std::pair<UIBackgroundTaskIdentifier, std::function<void()>>> due;
    {
        auto& t = tasks();
        std::lock_guard lock(t.mutex);
        due.assign(t.handlers.begin(), t.handlers.end());
    }
    DispatchQueue::main()->async([due = std::move(due), app = sharedApplication()] {
        for (const auto& [id, handler] : due) {
            if (handler) handler();
            app->endBackgroundTask(id);
        }
    });
}

std::size_t UIApplication::backgroundTaskCount() const {
    auto& t = tasks();
    std::lock_guard lock(t.mutex);
    return t.handlers.size();
}

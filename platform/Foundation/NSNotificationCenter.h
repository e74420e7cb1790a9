#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "NSObject.h"

struct NSNotification {
    std::string name;
    std::shared_ptr<NSObject> object;  // the sender, may be null
    nlohmann::json userInfo;
};

// Delivers each posted notification synchronously, on the posting thread, to the observers whose
// name (empty: every name) and sender (null: every sender) match, in the order they were added.
// Observers are blocks, removed by the token they were given, or handlers bound to a target
// held weakly: once the target is gone the handler is never called and is dropped. Senders used
// as filters are held weakly too, so a filter never keeps a sender alive nor matches its
// successor at the same address. Safe to use from any thread.
class NSNotificationCenter : public NSObject {
  public:
    using Token = std::uint64_t;
    using Block = std::function<void(const NSNotification&)>;

    static std::shared_ptr<NSNotificationCenter> defaultCenter();
    static std::shared_ptr<NSNotificationCenter> create();

    Token addObserverForName(const std::string& name, const std::shared_ptr<NSObject>& sender,
                             Block block);

    template <class T>
    void addObserver(const std::shared_ptr<T>& observer, const std::string& name,
                     const std::shared_ptr<NSObject>& sender,
                     std::function<void(T&, const NSNotification&)> handler) {
        if (!observer || !handler) return;
        add(std::weak_ptr<void>(observer), observer.get(), name, sender,
            [handler = std::move(handler)](void* target, const NSNotification& note) {
                handler(*static_cast<T*>(target), note);
            });
    }

    void removeObserver(Token token);
    // Removes every registration of the observer; callable from its destructor.
    void removeObserver(const void* observer);
    void removeObserver(const void* observer, const std::string& name);

    void postNotification(const NSNotification& notification);
    void postNotificationName(const std::string& name,
                              const std::shared_ptr<NSObject>& object = nullptr,
                              const nlohmann::json& userInfo = nullptr);

  private:
    using Handler = std::function<void(void*, const NSNotification&)>;
    struct Entry {
        Token token = 0;
        std::string name;
        bool hasSender = false;
        std::weak_ptr<NSObject> sender;
        bool hasTarget = false;
        std::weak_ptr<void> target;
        const void* targetKey = nullptr;
        Block block;
        Handler handler;
        std::atomic<bool> removed{false};
    };

    NSNotificationCenter() = default;
    Token add(std::weak_ptr<void> target, const void* targetKey, const std::string& name,
              const std::shared_ptr<NSObject>& sender, Handler handler);
    Token insert(std::shared_ptr<Entry> entry, const std::string& name,
                 const std::shared_ptr<NSObject>& sender);
    void removeIf(const std::function<bool(const Entry&)>& match);

    std::mutex mutex_;  // guards the two below
    std::vector<std::shared_ptr<Entry>> entries_;
    Token nextToken_ = 1;
};

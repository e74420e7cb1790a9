#include "NSNotificationCenter.h"

std::shared_ptr<NSNotificationCenter> NSNotificationCenter::defaultCenter() {
    static const std::shared_ptr<NSNotificationCenter> center = create();
    return center;
}

std::shared_ptr<NSNotificationCenter> NSNotificationCenter::create() {
    return std::shared_ptr<NSNotificationCenter>(new NSNotificationCenter());
}

NSNotificationCenter::Token NSNotificationCenter::addObserverForName(
    const std::string& name, const std::shared_ptr<NSObject>& sender, Block block) {
    if (!block) return 0;
    auto entry = std::make_shared<Entry>();
    entry->block = std::move(block);
    return insert(std::move(entry), name, sender);
}

NSNotificationCenter::Token NSNotificationCenter::add(std::weak_ptr<void> target,
                                                      const void* targetKey,
                                                      const std::string& name,
                                                      const std::shared_ptr<NSObject>& sender,
                                                      Handler handler) {
    auto entry = std::make_shared<Entry>();
    entry->hasTarget = true;
    entry->target = std::move(target);
    entry->targetKey = targetKey;
    entry->handler = std::move(handler);
    return insert(std::move(entry), name, sender);
}

NSNotificationCenter::Token NSNotificationCenter::insert(std::shared_ptr<Entry> entry,
                                                         const std::string& name,
                                                         const std::shared_ptr<NSObject>& sender) {
    entry->name = name;
    entry->hasSender = sender != nullptr;
    entry->sender = sender;
    std::lock_guard lock(mutex_);
    entry->token = nextToken_++;
    entries_.push_back(std::move(entry));
    return entries_.back()->token;
}

void NSNotificationCenter::removeObserver(Token token) {
    removeIf([token](const Entry& e) { return e.token == token; });
}

void NSNotificationCenter::removeObserver(const void* observer) {
    removeIf([observer](const Entry& e) { return e.hasTarget && e.targetKey == observer; });
}

void NSNotificationCenter::removeObserver(const void* observer, const std::string& name) {
    removeIf([observer, &name](const Entry& e) {
        return e.hasTarget && e.targetKey == observer && e.name == name;
    });
}

void NSNotificationCenter::removeIf(const std::function<bool(const Entry&)>& match) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&match](const std::shared_ptr<Entry>& e) {
        if (!match(*e)) return false;
        // A post already under way holds the entry; the flag stops it there.
        e->removed = true;
        return true;
    });
}

void NSNotificationCenter::postNotificationName(const std::string& name,
                                                const std::shared_ptr<NSObject>& object,
                                                const nlohmann::json& userInfo) {
    postNotification(NSNotification{name, object, userInfo});
}

void NSNotificationCenter::postNotification(const NSNotification& notification) {
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(entries_, [](const std::shared_ptr<Entry>& e) {
            const bool gone =
                (e->hasTarget && e->target.expired()) || (e->hasSender && e->sender.expired());
            if (gone) e->removed = true;
            return gone;
        });
        for (const auto& e : entries_) {
            if (!e->name.empty() && e->name != notification.name) continue;
            if (e->hasSender && e->sender.lock() != notification.object) continue;
            matching.push_back(e);
        }
    }
    for (const auto& e : matching) {
        if (e->removed) continue;
        if (!e->hasTarget) {
            e->block(notification);
            continue;
        }
        // Held for the call, so the target cannot go while its handler runs.
        if (auto target = e->target.lock()) e->handler(target.get(), notification);
    }
}

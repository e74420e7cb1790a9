#include "NSKeyedArchiver.h"

#include <mutex>

#include "KeyedArchiveKeys.h"
#include "NSPropertyListSerialization.h"
#include "PlistNode.h"

namespace {
std::mutex gNameMutex;
std::map<std::string, std::string>& defaultNames() {
    static std::map<std::string, std::string> names;
    return names;
}
}  // namespace

struct NSKeyedArchiver::State {
    plistnode::Ptr objects{plist_new_array()};
    plistnode::Ptr top{plist_new_dict()};
    plist_t current = nullptr;  // the dictionary that encode calls write into
    std::map<std::string, std::string> names;
    std::map<std::string, std::uint64_t> classUids;
    std::map<const NSCoding*, std::uint64_t> objectUids;
    std::set<const NSCoding*> encoding;
    // Keeps every encoded object alive so that no address is reused within one archive.
    std::vector<std::shared_ptr<const NSCoding>> retained;
    std::optional<NSError> error;
    int depth = 0;

    void fail(const std::string& why) {
        if (error) return;
        error = NSError::make(NSCocoaErrorDomain, NSCoderInvalidValueError,
                              "The object couldn't be archived.");
        error->userInfo["NSDebugDescription"] = why;
    }

    std::uint64_t append(plist_t node) {
        const std::uint64_t uid = plist_array_get_size(objects.get());
        plist_array_append_item(objects.get(), node);
        return uid;
    }

    std::string mapped(const std::string& name) {
        if (auto it = names.find(name); it != names.end()) return it->second;
        std::lock_guard lock(gNameMutex);
        if (auto it = defaultNames().find(name); it != defaultNames().end()) return it->second;
        return name;
    }

    std::uint64_t classUid(std::vector<std::string> hierarchy) {
        if (hierarchy.empty() || hierarchy.back() != "NSObject") hierarchy.push_back("NSObject");
        for (auto& name : hierarchy) name = mapped(name);
        if (auto it = classUids.find(hierarchy.front()); it != classUids.end()) return it->second;
        plist_t entry = plist_new_dict();
        plist_t classes = plist_new_array();
        for (const auto& name : hierarchy)
            plist_array_append_item(classes, plist_new_string(name.c_str()));
        plist_dict_set_item(entry, "$classes", classes);
        plist_dict_set_item(entry, "$classname", plist_new_string(hierarchy.front().c_str()));
        const std::uint64_t uid = append(entry);
        classUids[hierarchy.front()] = uid;
        return uid;
    }

    // A container entry appended before its members, as the platform orders them.
    plist_t appendContainer(const std::vector<std::string>& hierarchy, std::uint64_t& uid) {
        uid = append(plist_new_dict());
        plist_t entry = plist_array_get_item(objects.get(), static_cast<uint32_t>(uid));
        plist_dict_set_item(entry, "$class", plist_new_uid(classUid(hierarchy)));
        return entry;
    }

    std::uint64_t appendValue(const nlohmann::json& value) {
        using Type = nlohmann::json::value_t;
        if (error) return 0;
        if (depth > plistnode::kMaxDepth) {
            fail("value nests too deeply");
            return 0;
        }
        switch (value.type()) {
            case Type::null:
                return 0;
            case Type::array: {
                std::uint64_t uid = 0;
                plist_t entry = appendContainer({"NSArray"}, uid);
                plist_t members = plist_new_array();
                plist_dict_set_item(entry, "NS.objects", members);
                ++depth;
                for (const auto& item : value)
                    plist_array_append_item(members, plist_new_uid(appendValue(item)));
                --depth;
                return uid;
            }
            case Type::object: {
                std::uint64_t uid = 0;
                plist_t entry = appendContainer({"NSDictionary"}, uid);
                plist_t keys = plist_new_array();
                plist_t members = plist_new_array();
                plist_dict_set_item(entry, "NS.keys", keys);
                plist_dict_set_item(entry, "NS.objects", members);
                ++depth;
                for (const auto& [key, item] : value.items()) {
                    plist_array_append_item(keys, plist_new_uid(appendValue(key)));
                    plist_array_append_item(members, plist_new_uid(appendValue(item)));
                }
                --depth;
                return uid;
            }
            case Type::binary:
                if (NSPropertyListIsDate(value)) {
                    // What the unarchiver refuses is not written.
                    if (!NSPropertyListDateIsRepresentable(NSPropertyListDateSeconds(value))) {
                        fail("date out of range");
                        return 0;
                    }
                    std::uint64_t uid = 0;
                    plist_t entry = appendContainer({"NSDate"}, uid);
                    plist_dict_set_item(entry, "NS.time",
                                        plist_new_real(NSPropertyListDateSeconds(value) -
                                                       keyedarchive::kSecondsFrom1970To2001));
                    return uid;
                }
                [[fallthrough]];
            default: {
                std::string why;
                plistnode::Ptr node = plistnode::fromJson(value, why);
                if (!node) {
                    fail(why);
                    return 0;
                }
                return append(node.release());
            }
        }
    }
};

NSKeyedArchiver::NSKeyedArchiver() : state_(std::make_unique<State>()) {
    plist_array_append_item(state_->objects.get(), plist_new_string("$null"));
    state_->current = state_->top.get();
}

NSKeyedArchiver::~NSKeyedArchiver() = default;

void NSKeyedArchiver::setClassName(const std::string& codedName, const std::string& className) {
    state_->names[className] = codedName;
}

void NSKeyedArchiver::setDefaultClassName(const std::string& codedName,
                                          const std::string& className) {
    std::lock_guard lock(gNameMutex);
    defaultNames()[className] = codedName;
}

std::optional<NSData> NSKeyedArchiver::archivedDataWithRootObject(const nlohmann::json& value,
                                                                  NSError* error) {
    NSKeyedArchiver archiver;
    archiver.encodeObject(value, "root");
    return archiver.finish(error);
}

void NSKeyedArchiver::encodeObject(const nlohmann::json& value, const std::string& key) {
    const std::uint64_t uid = state_->appendValue(value);
    plist_dict_set_item(state_->current, keyedarchive::codedKey(key).c_str(), plist_new_uid(uid));
}

std::uint64_t NSKeyedArchiver::appendCoded(const std::shared_ptr<const NSCoding>& object) {
    State& s = *state_;
    if (!object || s.error) return 0;
    const NSCoding* identity = object.get();
    if (s.encoding.count(identity)) {
        s.fail("an object contains itself");
        return 0;
    }
    if (auto it = s.objectUids.find(identity); it != s.objectUids.end()) return it->second;
    if (s.depth > plistnode::kMaxDepth) {
        s.fail("objects nest too deeply");
        return 0;
    }
    std::uint64_t uid = 0;
    plist_t entry = s.appendContainer(object->classNamesForCoder(), uid);
    s.objectUids[identity] = uid;
    s.retained.push_back(object);
    s.encoding.insert(identity);
    plist_t saved = s.current;
    s.current = entry;
    ++s.depth;
    object->encodeWithCoder(*this);
    --s.depth;
    s.current = saved;
    s.encoding.erase(identity);
    return uid;
}

void NSKeyedArchiver::encodeCoded(const std::shared_ptr<const NSCoding>& object,
                                  const std::string& key) {
    plist_t target = state_->current;
    const std::uint64_t uid = appendCoded(object);
    plist_dict_set_item(target, keyedarchive::codedKey(key).c_str(), plist_new_uid(uid));
}

void NSKeyedArchiver::encodeCodedArray(const std::vector<std::shared_ptr<const NSCoding>>& objects,
                                       const std::string& key) {
    State& s = *state_;
    plist_t target = s.current;
    std::uint64_t uid = 0;
    plist_t entry = s.appendContainer({"NSArray"}, uid);
    plist_t members = plist_new_array();
    plist_dict_set_item(entry, "NS.objects", members);
    for (const auto& object : objects) {
        if (!object) {
            s.fail("an array cannot hold a null object");
            break;
        }
        plist_array_append_item(members, plist_new_uid(appendCoded(object)));
    }
    plist_dict_set_item(target, keyedarchive::codedKey(key).c_str(), plist_new_uid(uid));
}

void NSKeyedArchiver::encodeInt32(std::int32_t value, const std::string& key) {
    encodeInt64(value, key);
}

void NSKeyedArchiver::encodeInt64(std::int64_t value, const std::string& key) {
    plist_dict_set_item(state_->current, keyedarchive::codedKey(key).c_str(),
                        plist_new_uint(static_cast<std::uint64_t>(value)));
}

void NSKeyedArchiver::encodeDouble(double value, const std::string& key) {
    plist_dict_set_item(state_->current, keyedarchive::codedKey(key).c_str(),
                        plist_new_real(value));
}

void NSKeyedArchiver::encodeBool(bool value, const std::string& key) {
    plist_dict_set_item(state_->current, keyedarchive::codedKey(key).c_str(),
                        plist_new_bool(value ? 1 : 0));
}

std::optional<NSData> NSKeyedArchiver::finish(NSError* error) {
    State& s = *state_;
    if (!s.error) {
        plistnode::Ptr root(plist_new_dict());
        plist_dict_set_item(root.get(), "$version", plist_new_uint(100000));
        plist_dict_set_item(root.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
        plist_dict_set_item(root.get(), "$top", plist_copy(s.top.get()));
        plist_dict_set_item(root.get(), "$objects", plist_copy(s.objects.get()));
        if (auto data = plistnode::serialize(root.get(), NSPropertyListBinaryFormat_v1_0))
            return data;
        s.fail("serialisation failed");
    }
    if (error) *error = *s.error;
    return std::nullopt;
}

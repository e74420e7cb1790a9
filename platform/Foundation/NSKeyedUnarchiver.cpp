#include "NSKeyedUnarchiver.h"

#include <limits>
#include <map>
#include <mutex>

#include "KeyedArchiveKeys.h"
#include "NSPropertyListSerialization.h"
#include "PlistNode.h"

namespace {
std::mutex gClassMutex;
std::map<std::string, NSKeyedUnarchiver::Factory>& defaultClasses() {
    static std::map<std::string, NSKeyedUnarchiver::Factory> classes;
    return classes;
}

NSError corrupt(const std::string& why) {
    NSError error = NSError::make(NSCocoaErrorDomain, NSCoderReadCorruptError,
                                  "The data couldn't be read because it isn't in the correct "
                                  "format.");
    error.userInfo["NSDebugDescription"] = why;
    return error;
}

bool isDict(plist_t node) { return node && plist_get_node_type(node) == PLIST_DICT; }
bool isArray(plist_t node) { return node && plist_get_node_type(node) == PLIST_ARRAY; }
}  // namespace

struct NSKeyedUnarchiver::State {
    plistnode::Ptr root;
    plist_t objects = nullptr;
    plist_t current = nullptr;  // the dictionary that decode calls read from
    std::map<std::string, Factory> classes;
    std::map<std::uint64_t, std::shared_ptr<NSObject>> decoded;
    std::vector<bool> open;  // entries being decoded, to refuse archives that contain themselves
    std::uint64_t visited = 0;
    int depth = 0;

    std::uint32_t count() const { return plist_array_get_size(objects); }
};

NSKeyedUnarchiver::NSKeyedUnarchiver(std::unique_ptr<State> state) : state_(std::move(state)) {}
NSKeyedUnarchiver::~NSKeyedUnarchiver() = default;

std::unique_ptr<NSKeyedUnarchiver> NSKeyedUnarchiver::unarchiverWithData(
    std::span<const std::uint8_t> data, NSError* error) {
    std::string why;
    auto state = std::make_unique<State>();
    state->root = plistnode::parse(data, nullptr, why);
    plist_t root = state->root.get();
    if (isDict(root)) {
        plist_t archiver = plist_dict_get_item(root, "$archiver");
        plist_t objects = plist_dict_get_item(root, "$objects");
        plist_t top = plist_dict_get_item(root, "$top");
        const bool archive = archiver && plist_get_node_type(archiver) == PLIST_STRING &&
                             plistnode::stringValue(archiver) == "NSKeyedArchiver" &&
                             isArray(objects) && isDict(top);
        if (archive) {
            state->objects = objects;
            state->current = top;
            state->open.assign(state->count(), false);
            return std::unique_ptr<NSKeyedUnarchiver>(new NSKeyedUnarchiver(std::move(state)));
        }
    }
    if (root) why = "not a keyed archive";
    if (error) *error = corrupt(why);
    return nullptr;
}

std::optional<nlohmann::json> NSKeyedUnarchiver::unarchiveObjectWithData(
    std::span<const std::uint8_t> data, NSError* error) {
    auto coder = unarchiverWithData(data, error);
    if (!coder) return std::nullopt;
    nlohmann::json value = coder->decodeObject("root");
    if (coder->error_) {
        if (error) *error = *coder->error_;
        return std::nullopt;
    }
    return value;
}

void NSKeyedUnarchiver::setClass(Factory factory, const std::string& className) {
    state_->classes[className] = std::move(factory);
}

void NSKeyedUnarchiver::setDefaultClass(Factory factory, const std::string& className) {
    std::lock_guard lock(gClassMutex);
    if (!factory) {
        defaultClasses().erase(className);
        return;
    }
    defaultClasses()[className] = std::move(factory);
}

void NSKeyedUnarchiver::failWithError(NSError error) {
    if (!error_) error_ = std::move(error);
}

void NSKeyedUnarchiver::failNotOfClass() {
    failWithError(corrupt("decoded object is not of the expected class"));
}

bool NSKeyedUnarchiver::containsValueForKey(const std::string& key) const {
    return plist_dict_get_item(state_->current, keyedarchive::codedKey(key).c_str()) != nullptr;
}

namespace {

// Decoding walks UIDs; these helpers keep every step inside the archive's bounds.
class Walker {
  public:
    Walker(NSKeyedUnarchiver& coder, plist_t objects, std::vector<bool>& open,
           std::uint64_t& visited)
        : coder_(coder), objects_(objects), open_(open), visited_(visited) {}

    // The $objects entry a UID names; nullptr (with the failure recorded) when out of range.
    plist_t entry(std::uint64_t uid) {
        if (uid >= plist_array_get_size(objects_)) {
            coder_.failWithError(corrupt("reference outside the archive"));
            return nullptr;
        }
        return plist_array_get_item(objects_, static_cast<uint32_t>(uid));
    }

    // The class name of a container entry, or empty (failure recorded).
    std::string className(plist_t node) {
        plist_t ref = isDict(node) ? plist_dict_get_item(node, "$class") : nullptr;
        if (!ref || plist_get_node_type(ref) != PLIST_UID) {
            coder_.failWithError(corrupt("object without a class"));
            return {};
        }
        std::uint64_t uid = 0;
        plist_get_uid_val(ref, &uid);
        plist_t cls = entry(uid);
        plist_t name = isDict(cls) ? plist_dict_get_item(cls, "$classname") : nullptr;
        if (!name || plist_get_node_type(name) != PLIST_STRING) {
            coder_.failWithError(corrupt("damaged class entry"));
            return {};
        }
        return plistnode::stringValue(name);
    }

    // A plain value from a UID.
    std::optional<nlohmann::json> value(std::uint64_t uid, int depth) {
        if (uid == 0) return nlohmann::json();
        if (++visited_ > plistnode::kMaxNodes || depth > plistnode::kMaxDepth) {
            coder_.failWithError(corrupt("archive nests or expands beyond bounds"));
            return std::nullopt;
        }
        plist_t node = entry(uid);
        if (!node) return std::nullopt;
        if (!isDict(node)) return scalar(node);
        if (open_[uid]) {
            coder_.failWithError(corrupt("archive contains itself"));
            return std::nullopt;
        }
        open_[uid] = true;
        auto result = container(node, depth);
        open_[uid] = false;
        return result;
    }

    std::optional<nlohmann::json> scalar(plist_t node) {
        std::string why;
        auto value = plistnode::toJson(node, why);
        if (!value || value->is_structured()) {
            coder_.failWithError(corrupt(why.empty() ? "unexpected value" : why));
            return std::nullopt;
        }
        return value;
    }

    // UIDs of an "NS.keys"/"NS.objects" array; nullopt (failure recorded) when damaged.
    std::optional<std::vector<std::uint64_t>> uids(plist_t node, const char* key) {
        plist_t list = plist_dict_get_item(node, key);
        if (!isArray(list)) {
            coder_.failWithError(corrupt(std::string("missing ") + key));
            return std::nullopt;
        }
        std::vector<std::uint64_t> out;
        for (uint32_t i = 0; i < plist_array_get_size(list); ++i) {
            plist_t item = plist_array_get_item(list, i);
            if (plist_get_node_type(item) != PLIST_UID) {
                coder_.failWithError(corrupt(std::string("damaged ") + key));
                return std::nullopt;
            }
            std::uint64_t uid = 0;
            plist_get_uid_val(item, &uid);
            out.push_back(uid);
        }
        return out;
    }

  private:
    std::optional<nlohmann::json> container(plist_t node, int depth) {
        const std::string name = className(node);
        if (name.empty()) return std::nullopt;
        if (name == "NSDictionary" || name == "NSMutableDictionary") {
            auto keys = uids(node, "NS.keys");
            auto members = keys ? uids(node, "NS.objects") : std::nullopt;
            if (!members) return std::nullopt;
            if (keys->size() != members->size()) {
                coder_.failWithError(corrupt("dictionary keys and objects differ in number"));
                return std::nullopt;
            }
            nlohmann::json object = nlohmann::json::object();
            for (size_t i = 0; i < keys->size(); ++i) {
                auto key = value((*keys)[i], depth + 1);
                if (!key) return std::nullopt;
                if (!key->is_string()) {
                    coder_.failWithError(corrupt("dictionary key is not a string"));
                    return std::nullopt;
                }
                auto member = value((*members)[i], depth + 1);
                if (!member) return std::nullopt;
                object[key->get<std::string>()] = std::move(*member);
            }
            return object;
        }
        if (name == "NSArray" || name == "NSMutableArray" || name == "NSSet" ||
            name == "NSMutableSet") {
            auto members = uids(node, "NS.objects");
            if (!members) return std::nullopt;
            nlohmann::json array = nlohmann::json::array();
            for (const std::uint64_t uid : *members) {
                auto member = value(uid, depth + 1);
                if (!member) return std::nullopt;
                array.push_back(std::move(*member));
            }
            return array;
        }
        if (name == "NSString" || name == "NSMutableString")
            return field(node, "NS.string", PLIST_STRING);
        if (name == "NSData" || name == "NSMutableData") return field(node, "NS.data", PLIST_DATA);
        if (name == "NSDate") {
            plist_t time = plist_dict_get_item(node, "NS.time");
            if (!time || plist_get_node_type(time) != PLIST_REAL) {
                coder_.failWithError(corrupt("damaged date"));
                return std::nullopt;
            }
            double seconds = 0;
            plist_get_real_val(time, &seconds);
            seconds += keyedarchive::kSecondsFrom1970To2001;
            if (!NSPropertyListDateIsRepresentable(seconds)) {
                coder_.failWithError(corrupt("date out of range"));
                return std::nullopt;
            }
            return NSPropertyListDate(seconds);
        }
        if (name == "NSNull") return nlohmann::json();
        coder_.failWithError(corrupt("cannot decode an object of class " + name + " as a value"));
        return std::nullopt;
    }

    std::optional<nlohmann::json> field(plist_t node, const char* key, plist_type type) {
        plist_t item = plist_dict_get_item(node, key);
        if (!item || plist_get_node_type(item) != type) {
            coder_.failWithError(corrupt(std::string("missing ") + key));
            return std::nullopt;
        }
        return scalar(item);
    }

    NSKeyedUnarchiver& coder_;
    plist_t objects_;
    std::vector<bool>& open_;
    std::uint64_t& visited_;
};

}  // namespace

nlohmann::json NSKeyedUnarchiver::decodeObject(const std::string& key) {
    if (error_) return nullptr;
    plist_t item = plist_dict_get_item(state_->current, keyedarchive::codedKey(key).c_str());
    if (!item) return nullptr;
    Walker walker(*this, state_->objects, state_->open, state_->visited);
    if (plist_get_node_type(item) != PLIST_UID) return walker.scalar(item).value_or(nullptr);
    std::uint64_t uid = 0;
    plist_get_uid_val(item, &uid);
    return walker.value(uid, state_->depth).value_or(nullptr);
}

std::shared_ptr<NSObject> NSKeyedUnarchiver::decodeCoded(const std::string& key) {
    if (error_) return nullptr;
    plist_t item = plist_dict_get_item(state_->current, keyedarchive::codedKey(key).c_str());
    if (!item) return nullptr;
    if (plist_get_node_type(item) != PLIST_UID) {
        failWithError(corrupt("value for " + key + " is not an object"));
        return nullptr;
    }
    std::uint64_t uid = 0;
    plist_get_uid_val(item, &uid);
    if (uid == 0) return nullptr;
    State& s = *state_;
    if (auto it = s.decoded.find(uid); it != s.decoded.end()) return it->second;
    Walker walker(*this, s.objects, s.open, s.visited);
    plist_t entry = walker.entry(uid);
    if (!entry) return nullptr;
    if (s.open[uid]) {
        failWithError(corrupt("archive contains itself"));
        return nullptr;
    }
    if (!isDict(entry) || s.depth >= plistnode::kMaxDepth) {
        failWithError(corrupt(isDict(entry) ? "objects nest too deeply"
                                            : "value for " + key + " is not an object"));
        return nullptr;
    }
    const std::string name = walker.className(entry);
    if (name.empty()) return nullptr;
    Factory factory;
    if (auto it = s.classes.find(name); it != s.classes.end()) {
        factory = it->second;
    } else {
        std::lock_guard lock(gClassMutex);
        if (auto found = defaultClasses().find(name); found != defaultClasses().end())
            factory = found->second;
    }
    if (!factory) {
        failWithError(corrupt("cannot decode an object of class " + name));
        return nullptr;
    }
    plist_t saved = s.current;
    s.current = entry;
    s.open[uid] = true;
    ++s.depth;
    std::shared_ptr<NSObject> object = factory(*this);
    --s.depth;
    s.open[uid] = false;
    s.current = saved;
    if (error_) return nullptr;
    s.decoded[uid] = object;
    return object;
}

std::vector<std::shared_ptr<NSObject>> NSKeyedUnarchiver::decodeCodedArray(const std::string& key) {
    if (error_) return {};
    plist_t item = plist_dict_get_item(state_->current, keyedarchive::codedKey(key).c_str());
    if (!item) return {};
    if (plist_get_node_type(item) != PLIST_UID) {
        failWithError(corrupt("value for " + key + " is not an array"));
        return {};
    }
    std::uint64_t uid = 0;
    plist_get_uid_val(item, &uid);
    if (uid == 0) return {};
    State& s = *state_;
    Walker walker(*this, s.objects, s.open, s.visited);
    plist_t entry = walker.entry(uid);
    if (!entry) return {};
    const std::string name = walker.className(entry);
    if (name != "NSArray" && name != "NSMutableArray") {
        if (!name.empty()) failWithError(corrupt("value for " + key + " is not an array"));
        return {};
    }
    auto members = walker.uids(entry, "NS.objects");
    if (!members) return {};
    // Each member is decoded as if it were stored under its own key of a scratch dictionary.
    plistnode::Ptr scratch(plist_new_dict());
    plist_t saved = s.current;
    s.current = scratch.get();
    std::vector<std::shared_ptr<NSObject>> out;
    for (const std::uint64_t member : *members) {
        plist_dict_set_item(scratch.get(), "member", plist_new_uid(member));
        auto object = decodeCoded("member");
        if (!object) {
            if (!error_) failWithError(corrupt("array of " + key + " holds a null object"));
            break;
        }
        out.push_back(std::move(object));
    }
    s.current = saved;
    if (error_) return {};
    return out;
}

namespace {
// An inline number, or one that a UID names.
plist_t numberNode(plist_t item, plist_t objects) {
    if (item && plist_get_node_type(item) == PLIST_UID) {
        std::uint64_t uid = 0;
        plist_get_uid_val(item, &uid);
        if (uid == 0 || uid >= plist_array_get_size(objects)) return nullptr;
        item = plist_array_get_item(objects, static_cast<uint32_t>(uid));
    }
    return item;
}
}  // namespace

std::int64_t NSKeyedUnarchiver::decodeInt64(const std::string& key) {
    if (error_) return 0;
    plist_t raw = plist_dict_get_item(state_->current, keyedarchive::codedKey(key).c_str());
    if (!raw) return 0;
    plist_t item = numberNode(raw, state_->objects);
    const plist_type type = item ? plist_get_node_type(item) : PLIST_NONE;
    if (type == PLIST_UINT) {
        std::uint64_t n = 0;
        plist_get_uint_val(item, &n);
        return static_cast<std::int64_t>(n);
    }
    if (type == PLIST_BOOLEAN) {
        uint8_t b = 0;
        plist_get_bool_val(item, &b);
        return b ? 1 : 0;
    }
    if (type == PLIST_REAL) {
        double d = 0;
        plist_get_real_val(item, &d);
        if (d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return static_cast<std::int64_t>(d);
    }
    failWithError(corrupt("value for " + key + " is not an integer in range"));
    return 0;
}

std::int32_t NSKeyedUnarchiver::decodeInt32(const std::string& key) {
    const std::int64_t n = decodeInt64(key);
    if (n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::int32_t>::max()) {
        failWithError(corrupt("value for " + key + " is too large for 32 bits"));
        return 0;
    }
    return static_cast<std::int32_t>(n);
}

double NSKeyedUnarchiver::decodeDouble(const std::string& key) {
    if (error_) return 0;
    plist_t raw = plist_dict_get_item(state_->current, keyedarchive::codedKey(key).c_str());
    if (!raw) return 0;
    plist_t item = numberNode(raw, state_->objects);
    if (item && plist_get_node_type(item) == PLIST_REAL) {
        double d = 0;
        plist_get_real_val(item, &d);
        return d;
    }
    if (item && plist_get_node_type(item) == PLIST_UINT) {
        std::uint64_t n = 0;
        plist_get_uint_val(item, &n);
        return static_cast<double>(static_cast<std::int64_t>(n));
    }
    failWithError(corrupt("value for " + key + " is not a number"));
    return 0;
}

bool NSKeyedUnarchiver::decodeBool(const std::string& key) {
    if (error_) return false;
    plist_t raw = plist_dict_get_item(state_->current, keyedarchive::codedKey(key).c_str());
    if (!raw) return false;
    plist_t item = numberNode(raw, state_->objects);
    if (item && plist_get_node_type(item) == PLIST_BOOLEAN) {
        uint8_t b = 0;
        plist_get_bool_val(item, &b);
        return b != 0;
    }
    return decodeInt64(key) != 0;
}

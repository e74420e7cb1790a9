#include "PlistNode.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "NSStringEncoding.h"

namespace plistnode {
namespace {

constexpr double kSecondsFrom1970To2001 = 978307200.0;

std::uint64_t readBigEndian(const std::uint8_t* p, size_t width) {
    std::uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) value = (value << 8) | p[i];
    return value;
}

// Where a binary property list keeps its objects, as its trailer says.
struct BinaryLayout {
    static constexpr size_t kHeader = 8, kTrailer = 32;

    std::span<const std::uint8_t> data;
    size_t offsetSize = 0;
    size_t refSize = 0;
    std::uint64_t count = 0;
    std::uint64_t top = 0;
    std::uint64_t tableOffset = 0;

    std::uint64_t offsetOf(std::uint64_t index) const {
        return readBigEndian(data.data() + tableOffset + index * offsetSize, offsetSize);
    }
};

// Reads the trailer and checks that the offset table it describes lies inside the file.
std::optional<BinaryLayout> readTrailer(std::span<const std::uint8_t> data, std::string& why) {
    constexpr size_t kHeader = BinaryLayout::kHeader, kTrailer = BinaryLayout::kTrailer;
    if (data.size() < kHeader + kTrailer || std::memcmp(data.data(), "bplist00", 8) != 0) {
        why = "not a binary property list";
        return std::nullopt;
    }
    const std::uint8_t* trailer = data.data() + data.size() - kTrailer;
    BinaryLayout layout;
    layout.data = data;
    layout.offsetSize = trailer[6];
    layout.refSize = trailer[7];
    layout.count = readBigEndian(trailer + 8, 8);
    layout.top = readBigEndian(trailer + 16, 8);
    layout.tableOffset = readBigEndian(trailer + 24, 8);
    const std::uint64_t tableEnd = data.size() - kTrailer;
    if (layout.offsetSize < 1 || layout.offsetSize > 8 || layout.refSize < 1 ||
        layout.refSize > 8 || layout.count == 0 || layout.top >= layout.count ||
        layout.tableOffset < kHeader || layout.tableOffset > tableEnd ||
        layout.count > (tableEnd - layout.tableOffset) / layout.offsetSize) {
        why = "damaged binary property list trailer";
        return std::nullopt;
    }
    return layout;
}

// Whether any character of a string object is NUL, which libplist's accessors abort on; true
// also for a string running past the object area.
bool textHasNul(const BinaryLayout& layout, std::uint64_t pos, std::uint64_t length, size_t unit) {
    if (length > (layout.tableOffset - pos) / unit) return true;
    for (std::uint64_t i = 0; i < length; ++i)
        if (readBigEndian(layout.data.data() + pos + i * unit, unit) == 0) return true;
    return false;
}

// The references of a container object into `refs`, or none for scalars; false on damage, and
// for strings holding NUL.
bool objectReferences(const BinaryLayout& layout, std::uint64_t index,
                      std::vector<std::uint64_t>& refs) {
    const auto& data = layout.data;
    refs.clear();
    std::uint64_t pos = layout.offsetOf(index);
    if (pos < BinaryLayout::kHeader || pos >= layout.tableOffset) return false;
    const std::uint8_t marker = data[pos];
    const int kind = marker >> 4;
    const bool container = kind == 0xA || kind == 0xC || kind == 0xD;
    const bool text = kind == 0x5 || kind == 0x6;
    if (!container && !text) return true;
    std::uint64_t n = marker & 0xF;
    ++pos;
    if (n == 0xF) {
        if (pos >= layout.tableOffset || (data[pos] >> 4) != 0x1) return false;
        const size_t width = size_t{1} << (data[pos] & 0xF);
        if (width > 8 || pos + 1 + width > layout.tableOffset) return false;
        n = readBigEndian(data.data() + pos + 1, width);
        pos += 1 + width;
    }
    if (text) return !textHasNul(layout, pos, n, kind == 0x5 ? 1 : 2);
    const std::uint64_t refCount = kind == 0xD ? n * 2 : n;
    if (n > layout.tableOffset || refCount > (layout.tableOffset - pos) / layout.refSize)
        return false;
    refs.reserve(refCount);
    for (std::uint64_t i = 0; i < refCount; ++i) {
        const std::uint64_t ref =
            readBigEndian(data.data() + pos + i * layout.refSize, layout.refSize);
        if (ref >= layout.count) return false;
        refs.push_back(ref);
    }
    return true;
}

// Walks every object reachable from the top without recursion, computing its depth and expanded
// size, and refuses cycles, damaged objects and trees past kMaxDepth or kMaxNodes.
bool checkObjectGraph(const BinaryLayout& layout, std::string& why) {
    enum : std::uint8_t { kUnseen, kOpen, kDone };
    std::vector<std::uint8_t> state(layout.count, kUnseen);
    std::vector<std::uint32_t> depth(layout.count, 0);
    std::vector<std::uint64_t> nodes(layout.count, 0);
    struct Frame {
        std::uint64_t index;
        std::vector<std::uint64_t> refs;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    std::vector<std::uint64_t> refs;
    auto open = [&](std::uint64_t index) {
        if (!objectReferences(layout, index, refs)) return false;
        state[index] = kOpen;
        stack.push_back(Frame{index, refs});
        return true;
    };
    if (!open(layout.top)) {
        why = "damaged binary property list object";
        return false;
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.refs.size()) {
            const std::uint64_t child = frame.refs[frame.next++];
            if (state[child] == kOpen) {
                why = "binary property list refers to itself";
                return false;
            }
            if (state[child] == kUnseen && !open(child)) {
                why = "damaged binary property list object";
                return false;
            }
            continue;
        }
        std::uint32_t d = 0;
        std::uint64_t n = 1;
        for (const std::uint64_t child : frame.refs) {
            d = std::max(d, depth[child]);
            n = std::min(kMaxNodes + 1, n + nodes[child]);
        }
        depth[frame.index] = d + 1;
        nodes[frame.index] = n;
        state[frame.index] = kDone;
        if (depth[frame.index] > static_cast<std::uint32_t>(kMaxDepth) || n > kMaxNodes) {
            why = "binary property list nests or expands beyond bounds";
            return false;
        }
        stack.pop_back();
    }
    return true;
}

// Hands libplist's recursive reader only files it can read without exhausting the stack or
// memory.
bool checkBinary(std::span<const std::uint8_t> data, std::string& why) {
    const auto layout = readTrailer(data, why);
    return layout && checkObjectGraph(*layout, why);
}

bool startsWith(std::string_view text, size_t pos, std::string_view prefix) {
    return text.substr(pos, prefix.size()) == prefix;
}

// The element name a tag's text starts with: "array" of "array", "array >" or "array\tid=x".
std::string_view tagName(std::string_view tag) {
    return tag.substr(0, tag.find_first_of(" \t\r\n/"));
}

// Counts the open <array> and <dict> elements by their names, whatever follows the name in the
// tag; libplist's XML reader and free recurse per level.
bool checkXmlDepth(std::string_view xml, std::string& why) {
    int depth = 0;
    size_t pos = 0;
    while ((pos = xml.find('<', pos)) != std::string_view::npos) {
        if (startsWith(xml, pos, "<!--") || startsWith(xml, pos, "<![CDATA[")) {
            const bool comment = xml[pos + 2] == '-';
            const size_t end = xml.find(comment ? "-->" : "]]>", pos);
            if (end == std::string_view::npos) break;
            pos = end + 3;
            continue;
        }
        const size_t close = xml.find('>', pos);
        if (close == std::string_view::npos) break;
        const std::string_view tag = xml.substr(pos + 1, close - pos - 1);
        pos = close + 1;
        if (tag.empty() || tag[0] == '?' || tag[0] == '!' || tag.back() == '/') continue;
        const bool closing = tag[0] == '/';
        const std::string_view name = tagName(closing ? tag.substr(1) : tag);
        if (name != "array" && name != "dict") continue;
        // Stray closing tags never buy room for deeper nesting later.
        depth = closing ? std::max(0, depth - 1) : depth + 1;
        if (depth > kMaxDepth) {
            why = "XML property list nests too deeply";
            return false;
        }
    }
    return true;
}

// Why text cannot be a property-list string, or nullptr when it can: strings are Unicode text,
// written back as UTF-16 where they are not ASCII, and libplist aborts on NUL.
const char* textProblem(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return "contains a NUL character";
    if (!NSStringIsValidUTF8(text)) return "is not UTF-8 text";
    return nullptr;
}

Ptr fromJsonAt(const nlohmann::json& value, int depth, std::string& why) {
    using Type = nlohmann::json::value_t;
    if (depth > kMaxDepth) {
        why = "value nests too deeply";
        return nullptr;
    }
    switch (value.type()) {
        case Type::object: {
            Ptr dict(plist_new_dict());
            for (const auto& [key, item] : value.items()) {
                if (const char* problem = textProblem(key)) {
                    why = std::string("key ") + problem;
                    return nullptr;
                }
                Ptr child = fromJsonAt(item, depth + 1, why);
                if (!child) return nullptr;
                plist_dict_set_item(dict.get(), key.c_str(), child.release());
            }
            return dict;
        }
        case Type::array: {
            Ptr array(plist_new_array());
            for (const auto& item : value) {
                Ptr child = fromJsonAt(item, depth + 1, why);
                if (!child) return nullptr;
                plist_array_append_item(array.get(), child.release());
            }
            return array;
        }
        case Type::string: {
            const auto& text = value.get_ref<const std::string&>();
            if (const char* problem = textProblem(text)) {
                why = std::string("string ") + problem;
                return nullptr;
            }
            return Ptr(plist_new_string(text.c_str()));
        }
        case Type::boolean:
            return Ptr(plist_new_bool(value.get<bool>() ? 1 : 0));
        case Type::number_integer:
            return Ptr(plist_new_uint(static_cast<std::uint64_t>(value.get<std::int64_t>())));
        case Type::number_unsigned: {
            const auto n = value.get<std::uint64_t>();
            if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                why = "integer above the signed 64-bit range";
                return nullptr;
            }
            return Ptr(plist_new_uint(n));
        }
        case Type::number_float: {
            const double d = value.get<double>();
            if (!std::isfinite(d)) {
                why = "number is not finite";
                return nullptr;
            }
            return Ptr(plist_new_real(d));
        }
        case Type::binary: {
            if (NSPropertyListIsDate(value)) return newDate(NSPropertyListDateSeconds(value), why);
            const auto& bytes = value.get_binary();
            return Ptr(plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
        case Type::null:
            why = "null has no property-list form";
            return nullptr;
        case Type::discarded:
            break;
    }
    why = "value has no property-list form";
    return nullptr;
}

std::optional<nlohmann::json> toJsonAt(plist_t node, int depth, std::string& why) {
    if (depth > kMaxDepth) {
        why = "property list nests too deeply";
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_DICT: {
            nlohmann::json object = nlohmann::json::object();
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!item) {
                    std::free(key);
                    break;
                }
                auto child = toJsonAt(item, depth + 1, why);
                std::string name = key ? key : "";
                std::free(key);
                if (child && !NSStringIsValidUTF8(name)) {
                    why = "key is not UTF-8 text";
                    child.reset();
                }
                if (!child) {
                    std::free(it);
                    return std::nullopt;
                }
                object[name] = std::move(*child);
            }
            std::free(it);
            return object;
        }
        case PLIST_ARRAY: {
            nlohmann::json array = nlohmann::json::array();
            const uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i) {
                auto child = toJsonAt(plist_array_get_item(node, i), depth + 1, why);
                if (!child) return std::nullopt;
                array.push_back(std::move(*child));
            }
            return array;
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            std::string text = stringValue(node);
            if (!NSStringIsValidUTF8(text)) {
                why = "string is not UTF-8 text";
                return std::nullopt;
            }
            return nlohmann::json(std::move(text));
        }
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return nlohmann::json(b != 0);
        }
        case PLIST_UINT: {
            uint64_t n = 0;
            plist_get_uint_val(node, &n);
            return nlohmann::json(static_cast<std::int64_t>(n));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return nlohmann::json(d);
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            const auto* p = reinterpret_cast<const std::uint8_t*>(bytes);
            return nlohmann::json::binary(NSData(p, p + (bytes ? length : 0)));
        }
        case PLIST_DATE:
            return NSPropertyListDate(dateSeconds(node));
        case PLIST_UID:
            why = "keyed-archive reference outside an archive";
            return std::nullopt;
        default:
            why = "unknown property-list node";
            return std::nullopt;
    }
}

// libplist frees with one level of recursion per level of nesting, so deep trees are freed in
// pieces of less than twice this many levels.
constexpr std::uint32_t kFreeSpan = 512;

// A container's members, one at a time.
class Members {
  public:
    explicit Members(plist_t node) : node_(node), type_(plist_get_node_type(node)) {
        if (type_ == PLIST_ARRAY) plist_array_new_iter(node, &iter_);
        if (type_ == PLIST_DICT) plist_dict_new_iter(node, &iter_);
    }
    ~Members() { std::free(iter_); }
    Members(Members&& other) noexcept
        : node_(other.node_), type_(other.type_), iter_(std::exchange(other.iter_, nullptr)) {}
    Members(const Members&) = delete;
    Members& operator=(const Members&) = delete;
    Members& operator=(Members&&) = delete;

    plist_t next() {
        plist_t item = nullptr;
        if (type_ == PLIST_ARRAY) {
            plist_array_next_item(node_, iter_, &item);
        } else if (type_ == PLIST_DICT) {
            char* key = nullptr;
            plist_dict_next_item(node_, iter_, &key, &item);
            std::free(key);
        }
        return item;
    }

  private:
    plist_t node_;
    plist_type type_;
    void* iter_ = nullptr;
};

// Lists, without recursion and children before their parents, the nodes at every kFreeSpan-th
// level under which at least kFreeSpan more levels hang. Once those are freed in that order,
// no node has more than 2 * kFreeSpan levels left under it.
std::vector<plist_t> deepCuts(plist_t root) {
    struct Frame {
        plist_t node;
        Members members;
        std::uint32_t height = 0;
    };
    std::vector<plist_t> cuts;
    std::vector<Frame> stack;
    stack.push_back(Frame{root, Members(root)});
    while (!stack.empty()) {
        if (plist_t child = stack.back().members.next()) {
            stack.push_back(Frame{child, Members(child)});
            continue;
        }
        const auto depth = static_cast<std::uint32_t>(stack.size() - 1);
        const plist_t node = stack.back().node;
        const std::uint32_t height = stack.back().height;
        stack.pop_back();
        if (depth > 0 && depth % kFreeSpan == 0 && height >= kFreeSpan) cuts.push_back(node);
        if (!stack.empty()) stack.back().height = std::max(stack.back().height, height + 1);
    }
    return cuts;
}

// Takes a node out of its container and frees it. A dictionary member that its key does not
// find (a key given twice) is left where it is: its tree is then freed with its parent.
void removeFromParent(plist_t node) {
    const plist_t parent = plist_get_parent(node);
    if (plist_get_node_type(parent) == PLIST_ARRAY) {
        plist_array_item_remove(node);
        return;
    }
    char* key = nullptr;
    plist_dict_get_item_key(node, &key);
    if (key && plist_dict_get_item(parent, key) == node) plist_dict_remove_item(parent, key);
    std::free(key);
}

}  // namespace

void freeTree(plist_t root) {
    if (!root) return;
    for (const plist_t cut : deepCuts(root)) removeFromParent(cut);
    plist_free(root);
}

Ptr parse(std::span<const std::uint8_t> data, NSPropertyListFormat* format, std::string& why) {
    if (data.empty() || data.size() > std::numeric_limits<uint32_t>::max()) {
        why = data.empty() ? "empty property list" : "property list too large";
        return nullptr;
    }
    const char* bytes = reinterpret_cast<const char*>(data.data());
    const auto length = static_cast<uint32_t>(data.size());
    plist_t node = nullptr;
    if (plist_is_binary(bytes, length)) {
        if (!checkBinary(data, why)) return nullptr;
        plist_from_bin(bytes, length, &node);
        if (format) *format = NSPropertyListBinaryFormat_v1_0;
    } else {
        const std::string_view xml(bytes, length);
        if (xml.find("<plist") == std::string_view::npos) {
            why = "not a property list";
            return nullptr;
        }
        // XML has no NUL characters, and libplist aborts on strings that hold one.
        if (xml.find('\0') != std::string_view::npos) {
            why = "XML property list contains a NUL byte";
            return nullptr;
        }
        if (!checkXmlDepth(xml, why)) return nullptr;
        plist_from_xml(bytes, length, &node);
        if (format) *format = NSPropertyListXMLFormat_v1_0;
    }
    if (!node) why = "damaged property list";
    return Ptr(node);
}

std::optional<NSData> serialize(plist_t node, NSPropertyListFormat format) {
    char* out = nullptr;
    uint32_t length = 0;
    if (format == NSPropertyListBinaryFormat_v1_0) {
        plist_to_bin(node, &out, &length);
    } else {
        plist_to_xml(node, &out, &length);
    }
    if (!out) return std::nullopt;
    const auto* p = reinterpret_cast<const std::uint8_t*>(out);
    NSData data(p, p + length);
    if (format == NSPropertyListBinaryFormat_v1_0) {
        plist_to_bin_free(out);
    } else {
        plist_to_xml_free(out);
    }
    return data;
}

Ptr fromJson(const nlohmann::json& value, std::string& why) { return fromJsonAt(value, 0, why); }

std::optional<nlohmann::json> toJson(plist_t node, std::string& why) {
    return toJsonAt(node, 0, why);
}

Ptr newDate(double secondsSince1970, std::string& why) {
    const double since2001 = secondsSince1970 - kSecondsFrom1970To2001;
    const double whole = std::floor(since2001);
    if (!std::isfinite(since2001) || whole < std::numeric_limits<int32_t>::min() ||
        whole > std::numeric_limits<int32_t>::max()) {
        why = "date outside the storable range";
        return nullptr;
    }
    const auto micros = static_cast<int32_t>(std::lround((since2001 - whole) * 1e6));
    return Ptr(plist_new_date(static_cast<int32_t>(whole), micros));
}

double dateSeconds(plist_t node) {
    int32_t seconds = 0, micros = 0;
    plist_get_date_val(node, &seconds, &micros);
    // libplist splits a date into its whole seconds rounded toward 2001 and the size of the rest,
    // without its sign: before 2001 the rest counts backwards. (Within the second before 2001
    // the sign is lost altogether, and the date reads as the one as far after.)
    const double rest = micros / 1e6;
    return kSecondsFrom1970To2001 + seconds + (seconds < 0 ? -rest : rest);
}

std::string stringValue(plist_t node) {
    if (plist_get_node_type(node) == PLIST_STRING) {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return text ? std::string(text, length) : std::string();
    }
    char* text = nullptr;
    plist_get_key_val(node, &text);
    std::string out = text ? text : "";
    std::free(text);
    return out;
}

}  // namespace plistnode

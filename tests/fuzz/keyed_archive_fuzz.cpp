// Keyed archives, read as plain values and as coded objects that decode a field of every kind.
// A plain value that reads holds only dates of the calendar's span, describes itself and,
// archived again, reads back the same.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "Foundation/JSONValue.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "FuzzCheck.h"
#include "FuzzValues.h"

namespace {

// A coded class that decodes a field of every kind, and objects of its own class nested in it.
class Probe : public NSObject {
  public:
    static std::shared_ptr<Probe> createWithCoder(NSKeyedUnarchiver& coder) {
        describe(coder.decodeObject("value"));
        coder.decodeInt32("int32");
        coder.decodeInt64("int64");
        coder.decodeDouble("double");
        coder.decodeBool("bool");
        auto probe = std::make_shared<Probe>();
        probe->child = coder.decodeObjectOfClass<Probe>("child");
        probe->children = coder.decodeArrayOfObjectsOfClass<Probe>("children");
        return probe;
    }

    std::shared_ptr<Probe> child;
    std::vector<std::shared_ptr<Probe>> children;
};

bool datesRepresentable(const nlohmann::json& root) {
    std::vector<const nlohmann::json*> pending{&root};
    while (!pending.empty()) {
        const nlohmann::json* value = pending.back();
        pending.pop_back();
        if (NSPropertyListIsDate(*value) &&
            !NSPropertyListDateIsRepresentable(NSPropertyListDateSeconds(*value)))
            return false;
        if (value->is_structured())
            for (const auto& child : *value) pending.push_back(&child);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<Probe>(), "Probe");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NSError error;
    NSKeyedUnarchiver::unarchiveObjectOfClass<Probe>({data, size}, &error);

    const auto value = NSKeyedUnarchiver::unarchiveObjectWithData({data, size}, &error);
    if (!value) {
        FUZZ_CHECK(error.code == NSCoderReadCorruptError);
        return 0;
    }
    FUZZ_CHECK(datesRepresentable(*value));
    describe(*value);
    const auto archived = NSKeyedArchiver::archivedDataWithRootObject(*value);
    if (!archived) return 0;
    const auto reread = NSKeyedUnarchiver::unarchiveObjectWithData(*archived);
    FUZZ_CHECK(reread);
    // NaN never equals itself, so only values without one can be compared.
    if (*value == *value) FUZZ_CHECK(sameValue(*reread, *value));
    return 0;
}

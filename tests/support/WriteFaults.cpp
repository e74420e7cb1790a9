#include "WriteFaults.h"

#include "Foundation/NSData.h"

namespace testsupport {

FailingWrites::FailingWrites(const std::filesystem::path& under, int from, int error) {
    const std::string prefix = (under / "").string();
    NSDataSetWriteFault([prefix, from, error, writes = writes_](const std::string& path) {
        if (!path.starts_with(prefix)) return 0;
        return ++*writes >= from ? error : 0;
    });
}

FailingWrites::~FailingWrites() { NSDataSetWriteFault(nullptr); }

}  // namespace testsupport

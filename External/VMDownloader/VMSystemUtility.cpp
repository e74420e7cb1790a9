#include "VMSystemUtility.h"

#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"

std::uint64_t VMSystemUtility::freeDiskSpace() {
    const auto paths = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask);
    if (paths.empty()) return 0;
    const auto attributes =
        NSFileManager::defaultManager()->attributesOfFileSystemForPath(paths.back());
    return attributes ? attributes->systemFreeSize : 0;
}

#include "NSFileError.h"

#include <cerrno>
#include <cstring>

namespace {
long cocoaCode(int posixError, bool writing) {
    switch (posixError) {
        case ENOENT:
            return writing ? NSFileNoSuchFileError : NSFileReadNoSuchFileError;
        case EACCES:
        case EPERM:
            return writing ? NSFileWriteNoPermissionError : NSFileReadNoPermissionError;
        case EEXIST:
        case ENOTEMPTY:
            return NSFileWriteFileExistsError;
        case ENOSPC:
        case EDQUOT:
            return NSFileWriteOutOfSpaceError;
        case EROFS:
            return NSFileWriteVolumeReadOnlyError;
        case ENAMETOOLONG:
        case EINVAL:
            return writing ? NSFileWriteInvalidFileNameError : NSFileReadInvalidFileNameError;
        default:
            return writing ? NSFileWriteUnknownError : NSFileReadUnknownError;
    }
}
}  // namespace

NSError NSFileErrorWithErrno(int posixError, const std::string& path, bool writing) {
    NSError error = NSError::make(NSCocoaErrorDomain, cocoaCode(posixError, writing),
                                  path + ": " + std::strerror(posixError));
    error.userInfo["NSFilePath"] = path;
    error.userInfo["NSUnderlyingError"] = {{"domain", NSPOSIXErrorDomain}, {"code", posixError}};
    return error;
}

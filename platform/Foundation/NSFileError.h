#pragma once

#include <string>

#include "NSError.h"

// File errors in NSCocoaErrorDomain with the platform's codes; userInfo carries "NSFilePath" and
// the POSIX cause as "NSUnderlyingError" {"domain": NSPOSIXErrorDomain, "code": errno}.
enum NSCocoaFileErrorCode : long {
    NSFileNoSuchFileError = 4,
    NSFileLockingError = 255,
    NSFileReadUnknownError = 256,
    NSFileReadNoPermissionError = 257,
    NSFileReadInvalidFileNameError = 258,
    NSFileReadCorruptFileError = 259,
    NSFileReadNoSuchFileError = 260,
    NSFileWriteUnknownError = 512,
    NSFileWriteNoPermissionError = 513,
    NSFileWriteInvalidFileNameError = 514,
    NSFileWriteFileExistsError = 516,
    NSFileWriteOutOfSpaceError = 640,
    NSFileWriteVolumeReadOnlyError = 642,
};

// `writing` picks the write family of codes for the same errno.
NSError NSFileErrorWithErrno(int posixError, const std::string& path, bool writing);

inline void NSSetError(NSError* slot, NSError error) {
    if (slot) *slot = std::move(error);
}

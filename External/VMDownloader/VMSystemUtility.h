#pragma once

#include <cstdint>

class VMSystemUtility {
  public:
    // What may still be written to the file system of the Documents directory; 0 when unknown.
    static std::uint64_t freeDiskSpace();
};

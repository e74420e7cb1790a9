#pragma once

#include <cstdint>
#include <span>

#include "Security/SecBase.h"

// Fills the buffer from the system's cryptographically secure generator.
OSStatus SecRandomCopyBytes(std::span<std::uint8_t> bytes);

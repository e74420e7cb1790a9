#pragma once

#include <cstdint>

#include "UIKit/UIColor.h"

// Alpha in bits 24-31, then red, green and blue; each component times 255, truncated.
std::uint32_t unsignedIntARGB(const UIColor& color);

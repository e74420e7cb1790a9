#pragma once

#include <string>
#include <vector>

#include "MapEngine.h"

// The process-wide lists of shown grid names that refreshAllShownGridNames fills (data types 0, 1,
// 3, 4, 7 and 8); a copy taken under the list's lock, empty for other types.
std::vector<std::string> shownGridNames(MapDataType dataType);

#pragma once

#include <optional>

#include "Foundation/NSValue.h"
#include "VMGeometry.h"

// Map geometry boxed for containers. A point and a size share one encoding, so either reads
// back as the other; a rectangle reads back only as a rectangle.
NSValue valueWithVMMapPoint(VMMapPoint point);
NSValue valueWithVMMapSize(VMMapSize size);
NSValue valueWithVMMapRect(VMMapRect rect);
std::optional<VMMapPoint> VMMapPointValue(const NSValue& value);
std::optional<VMMapSize> VMMapSizeValue(const NSValue& value);
std::optional<VMMapRect> VMMapRectValue(const NSValue& value);

#include "NSValueVMGeometryExtensions.h"

#include <type_traits>

namespace {

constexpr const char* kTwoDoubles = "{?=dd}";
constexpr const char* kFourDoubles = "{?={?=dd}{?=dd}}";

// The encodings describe the bytes: no padding may sneak in.
static_assert(std::is_trivially_copyable_v<VMMapRect>);
static_assert(sizeof(VMMapPoint) == 2 * sizeof(double));
static_assert(sizeof(VMMapSize) == 2 * sizeof(double));
static_assert(sizeof(VMMapRect) == 4 * sizeof(double));

}  // namespace

NSValue valueWithVMMapPoint(VMMapPoint point) {
    return NSValue::valueWithBytes(point, kTwoDoubles);
}

NSValue valueWithVMMapSize(VMMapSize size) { return NSValue::valueWithBytes(size, kTwoDoubles); }

NSValue valueWithVMMapRect(VMMapRect rect) { return NSValue::valueWithBytes(rect, kFourDoubles); }

std::optional<VMMapPoint> VMMapPointValue(const NSValue& value) {
    return value.getValue<VMMapPoint>(kTwoDoubles);
}

std::optional<VMMapSize> VMMapSizeValue(const NSValue& value) {
    return value.getValue<VMMapSize>(kTwoDoubles);
}

std::optional<VMMapRect> VMMapRectValue(const NSValue& value) {
    return value.getValue<VMMapRect>(kFourDoubles);
}

// Helpers shared by the math library's own units; not part of its interface.
#pragma once

#include <limits.h>

namespace mathlib_internal {

constexpr float kDegreesToRadians = 0.017453292f;

// Truncation toward zero that saturates at the int range instead of being undefined
// beyond it; NaN gives 0.
inline int SaturateToInt(double value) {
    if (!(value == value)) return 0;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(value);
}

}  // namespace mathlib_internal

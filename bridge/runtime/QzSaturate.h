// Converting floating-point numbers to integer types without undefined behaviour.
#ifndef QZ_SATURATE_H
#define QZ_SATURATE_H

#include <cmath>
#include <limits>

// Cuts toward zero; NaN gives 0 and values beyond the type's range give its nearest limit.
template <class Int>
Int QzSaturatingCast(double value) {
    if (std::isnan(value)) return 0;
    // The limits as doubles: the upper one rounds up to a power of two for 64-bit types,
    // so the comparison is >=.
    constexpr double lowest = static_cast<double>(std::numeric_limits<Int>::lowest());
    constexpr double highest = static_cast<double>(std::numeric_limits<Int>::max());
    if (value <= lowest) return std::numeric_limits<Int>::lowest();
    if (value >= highest) return std::numeric_limits<Int>::max();
    return static_cast<Int>(value);
}

#endif

#pragma once
// Readings as whole numbers. A float or double reading converted with a plain cast is
// undefined once it lies outside int32's range (x86 turns it into -2147483648), and an
// unsigned count above INT32_MAX turns negative; every conversion of a reading to an int
// goes through saturatingInt() instead.

#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

namespace plashwerk {

/// The value truncated towards zero and clamped to int32's range; NaN gives 0.
template <typename T>
constexpr int32_t saturatingInt(T value) {
    static_assert(std::is_arithmetic_v<T>);
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    if constexpr (std::is_floating_point_v<T>) {
        const double v = static_cast<double>(value);
        if (v != v) return 0;
        if (v >= 2147483648.0) return kMax;
        if (v <= -2147483649.0) return kMin;
        return static_cast<int32_t>(v);
    } else if constexpr (std::is_same_v<T, bool>) {
        return value ? 1 : 0;
    } else {
        if (std::cmp_greater(value, kMax)) return kMax;
        if (std::cmp_less(value, kMin)) return kMin;
        return static_cast<int32_t>(value);
    }
}

}  // namespace plashwerk

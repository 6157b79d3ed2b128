// Helpers shared by the px pixel primitives.
#pragma once

#include <cstddef>
#include <type_traits>

#include "primitives/core/vp_types.h"

namespace vp_px {

// Row y of an image operand: the pointer plus y times the step, in 64 bits.
template <typename T>
inline T* rowAt(T* base, int step, int y) {
    using Byte = std::conditional_t<std::is_const_v<T>, const char, char>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) + static_cast<std::ptrdiff_t>(y) * step);
}

inline bool badSize(VpiSize size) { return size.width <= 0 || size.height <= 0; }

}  // namespace vp_px

#pragma once

#include <cstdint>

namespace meridan {

// The panel's Boolean: 16 bits, True is -1 (all bits set), False is 0. A test for True compares
// with -1 exactly, so any other non-zero value counts as not True.
using Boolean = std::int16_t;

inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

} // namespace meridan

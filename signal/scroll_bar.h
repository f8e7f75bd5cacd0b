#pragma once

#include <cstdint>

namespace meridan {

// The blink period the scroll bar starts at, in milliseconds, and so the on-timers' first interval.
inline constexpr std::int16_t kStartPeriod = 200;

// The blink-rate scroll bar as the logic sees it: a value that it reads.
class ScrollBar
{
public:
    virtual ~ScrollBar() = default;
    virtual std::int16_t value() const = 0;
};

} // namespace meridan

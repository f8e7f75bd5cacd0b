#pragma once

#include <chrono>

namespace meridan {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;
using Milliseconds = std::chrono::milliseconds;

// Where the panel learns the present time. Production reads the monotonic clock; tests advance
// a virtual one by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

} // namespace meridan

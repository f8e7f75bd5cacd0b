#pragma once

#include "signal/clock.h"

namespace meridan {

// The monotonic clock (CLOCK_MONOTONIC on Linux), which the kernel timer behind the phase timers
// and the simulated board's record of writes both count in.
class MonotonicClock : public Clock
{
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

} // namespace meridan

#pragma once

#include "clock.h"

#include <optional>

namespace meridan {

// The one operating-system timer behind the phase timers. The scheduler arms it for the earliest
// due tick (or disarms it with nullopt); when it fires, its owner calls PhaseScheduler::runDue().
class WakeUp
{
public:
    virtual ~WakeUp() = default;
    virtual void wakeAt(std::optional<TimePoint> when) = 0;
};

} // namespace meridan

#pragma once

#include "signal/clock.h"

#include <functional>
#include <optional>

namespace meridan {

// The one operating-system timer behind the phase timers. The scheduler gives it the handler that
// runs the due ticks, arms it for the earliest due tick (or disarms it with nullopt), and the
// wake-up calls the handler from the event loop when that moment comes.
class WakeUp
{
public:
    virtual ~WakeUp() = default;
    virtual void setHandler(std::function<void()> handler) = 0;
    virtual void wakeAt(std::optional<TimePoint> when) = 0;
};

} // namespace meridan

#pragma once

#include "wake_up.h"
#include "watched_descriptor.h"

#include <functional>

namespace meridan {

// The phase timers' one operating-system timer: a kernel timerfd armed at absolute deadlines on
// the monotonic clock (the clock MonotonicClock reads) and watched by the Qt event loop. It wakes
// within a fraction of a millisecond of the deadline and never accumulates drift, where Qt's
// coarse timers may move a wake-up by 5 % of its interval.
class PreciseWakeUp final : public WakeUp
{
public:
    PreciseWakeUp() = default;
    PreciseWakeUp(const PreciseWakeUp &) = delete;
    PreciseWakeUp &operator=(const PreciseWakeUp &) = delete;

    void setHandler(std::function<void()> handler) override;
    // Arms the timer for `when` (at once if it has passed), or disarms it with nullopt. The kernel
    // timer is made on first use, so its failure is reported like any other run-time error.
    void wakeAt(std::optional<TimePoint> when) override;

private:
    void fired();

    std::function<void()> onWake;
    WatchedDescriptor timer;
};

} // namespace meridan

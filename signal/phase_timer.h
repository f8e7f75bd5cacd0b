#pragma once

#include "signal/clock.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace meridan {

class PhaseScheduler;

// One of the four phase timers: Enabled and Interval in milliseconds, ticking on the program's
// one thread through its PhaseScheduler. Enabling an enabled timer does not restart its count;
// disabling cancels any tick not yet handled; an interval of 0 never ticks.
class PhaseTimer
{
public:
    PhaseTimer(PhaseScheduler &owner, std::int32_t interval, std::function<void()> handler);
    ~PhaseTimer();
    PhaseTimer(const PhaseTimer &) = delete;
    PhaseTimer &operator=(const PhaseTimer &) = delete;

    bool enabled() const { return isEnabled; }
    void setEnabled(bool enabled);

    std::int32_t interval() const { return intervalMs; }
    // A new interval applies to the count under way: the next tick falls due at the count's start
    // plus the new interval, at once if that moment has passed.
    void setInterval(std::int32_t interval);

    // The 1-based number that orders ticks falling due at the same moment.
    int number() const { return timerNumber; }
    std::optional<TimePoint> due() const { return dueAt; }

private:
    friend class PhaseScheduler;

    Duration period() const { return Milliseconds { intervalMs }; }
    void startCount(TimePoint start);

    PhaseScheduler &scheduler;
    std::function<void()> onTick;
    int timerNumber = 0;
    bool isEnabled = false;
    std::int32_t intervalMs = 0;
    TimePoint countStart;
    std::optional<TimePoint> dueAt;
};

} // namespace meridan

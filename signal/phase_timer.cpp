#include "signal/phase_timer.h"

#include "signal/phase_scheduler.h"
#include "signal/run_time_error.h"

#include <string>
#include <utility>

namespace meridan {

PhaseTimer::PhaseTimer(PhaseScheduler &owner, std::int32_t interval, std::function<void()> handler)
    : scheduler(owner),
      onTick(std::move(handler)),
      intervalMs(interval)
{
    timerNumber = scheduler.add(*this);
}

PhaseTimer::~PhaseTimer()
{
    scheduler.remove(*this);
}

void PhaseTimer::setEnabled(bool enabled)
{
    if (enabled == isEnabled)
        return;
    isEnabled = enabled;
    if (enabled)
        startCount(scheduler.countStart());
    else
        dueAt.reset();
    scheduler.rearm();
}

void PhaseTimer::setInterval(std::int32_t interval)
{
    if (interval < 0)
        raiseRunTimeError(
                "Timer" + std::to_string(timerNumber) + ".Interval = " + std::to_string(interval),
                "an interval is 0 or more milliseconds");
    const bool wasStopped = intervalMs == 0;
    intervalMs = interval;
    if (!isEnabled)
        return;
    if (intervalMs == 0)
        dueAt.reset();
    else if (wasStopped)
        startCount(scheduler.countStart()); // an interval of 0 kept no count
    else
        dueAt = countStart + period();
    scheduler.rearm();
}

void PhaseTimer::startCount(TimePoint start)
{
    countStart = start;
    if (intervalMs > 0)
        dueAt = countStart + period();
    else
        dueAt.reset();
}

} // namespace meridan

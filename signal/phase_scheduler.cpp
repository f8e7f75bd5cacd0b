#include "signal/phase_scheduler.h"

#include "signal/event_dispatcher.h"
#include "signal/phase_timer.h"
#include "signal/wake_up.h"

#include <algorithm>

namespace meridan {

PhaseScheduler::PhaseScheduler(Clock &time, WakeUp &alarm, EventDispatcher &handlers)
    : clock(time),
      wakeUp(alarm),
      dispatcher(handlers)
{
    // The wake-up's own failures (re-arming the kernel timer) end the program like a tick's.
    wakeUp.setHandler([this] { dispatcher.run([this] { runDue(); }); });
}

void PhaseScheduler::stop()
{
    hasStopped = true;
    rearm();
}

int PhaseScheduler::add(PhaseTimer &timer)
{
    timers.push_back(&timer);
    return static_cast<int>(timers.size());
}

void PhaseScheduler::remove(PhaseTimer &timer)
{
    std::erase(timers, &timer);
}

TimePoint PhaseScheduler::logicalNow() const
{
    return handlingTick.value_or(clock.now());
}

TimePoint PhaseScheduler::countStart()
{
    latestCountStart = std::max(latestCountStart, logicalNow());
    return latestCountStart;
}

std::optional<TimePoint> PhaseScheduler::nextDue() const
{
    std::optional<TimePoint> next;
    for (const PhaseTimer *timer : timers) {
        if (timer->dueAt && (!next || *timer->dueAt < *next))
            next = timer->dueAt;
    }
    return next;
}

PhaseTimer *PhaseScheduler::earliestDueBy(TimePoint now) const
{
    // Timers are kept in number order, so a strict comparison leaves ties to the lower number.
    PhaseTimer *earliest = nullptr;
    for (PhaseTimer *timer : timers) {
        if (timer->dueAt && *timer->dueAt <= now && (!earliest || *timer->dueAt < *earliest->dueAt))
            earliest = timer;
    }
    return earliest;
}

void PhaseScheduler::runDue()
{
    if (running)
        return; // a handler's nested event loop; the outer call goes on with the rest
    running = true;
    while (!hasStopped) {
        const TimePoint now = clock.now();
        PhaseTimer *timer = earliestDueBy(now);
        if (timer == nullptr)
            break;
        // Logical time never runs backwards: a tick that fell due before a count that an event
        // has since started (its handler ran first, or an interval change moved the tick into
        // the past) happens at that count's start. Otherwise the two counts would drift apart
        // and, in hazard mode, light one lamp before the other.
        TimePoint tickAt = std::max(*timer->dueAt, latestCountStart);
        // A tick handled more than one interval late (the machine was suspended or starved)
        // counts as happening now, so the timer and every count its handler starts go on from the
        // present: one tick, no burst of catch-up ticks.
        if (now - tickAt > timer->period())
            tickAt = now;
        timer->countStart = tickAt;
        timer->dueAt = tickAt + timer->period();
        handlingTick = tickAt;
        dispatcher.run(timer->onTick);
        handlingTick.reset();
    }
    running = false;
    rearm();
}

void PhaseScheduler::rearm()
{
    if (running)
        return; // runDue arms the wake-up once it is through
    wakeUp.wakeAt(hasStopped ? std::nullopt : nextDue());
}

} // namespace meridan

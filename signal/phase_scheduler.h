#pragma once

#include "signal/clock.h"

#include <optional>
#include <vector>

namespace meridan {

class EventDispatcher;
class PhaseTimer;
class WakeUp;

// Drives the phase timers from one clock and one wake-up, which it wires to itself: when the
// wake-up fires, the due ticks run. It keeps lamp edges free of drift by counting in logical time:
// a count started inside a tick handler starts at that tick's due time, not at the moment the
// handler happened to run. Every tick runs through the EventDispatcher.
class PhaseScheduler
{
public:
    PhaseScheduler(Clock &time, WakeUp &alarm, EventDispatcher &handlers);
    PhaseScheduler(const PhaseScheduler &) = delete;
    PhaseScheduler &operator=(const PhaseScheduler &) = delete;

    // Handles every tick due at or before the present time, in due-time order and, for ticks due
    // at the same moment, in timer-number order, including ticks that a handler arms on the way.
    // Then arms the wake-up for the next one.
    void runDue();

    std::optional<TimePoint> nextDue() const;

    // Disarms the wake-up for good: no tick runs after this, even one already due. Called when the
    // program ends.
    void stop();

    // Inside a tick handler: the moment of the tick being handled (its due time, as a rule).
    // Elsewhere: the present time.
    TimePoint logicalNow() const;

private:
    friend class PhaseTimer;

    // The logical now, for a count that starts there; remembered, so that logical time never
    // runs backwards.
    TimePoint countStart();
    int add(PhaseTimer &timer);
    void remove(PhaseTimer &timer);
    // Arms the wake-up for the earliest due tick, or disarms it when none is due.
    void rearm();
    PhaseTimer *earliestDueBy(TimePoint now) const;

    Clock &clock;
    WakeUp &wakeUp;
    EventDispatcher &dispatcher;
    std::vector<PhaseTimer *> timers;
    std::optional<TimePoint> handlingTick;
    TimePoint latestCountStart;
    bool running = false;
    bool hasStopped = false;
};

} // namespace meridan

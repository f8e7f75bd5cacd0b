#pragma once

#include "signal/clock.h"
#include "signal/wake_up.h"

#include <functional>
#include <optional>
#include <utility>

namespace meridan::testing {

// Virtual time for the phase timers: a clock and the wake-up behind it. advance(d) moves time to
// each armed wake-up in turn and fires it there, so every tick due by the end of d is handled at
// its own moment, including ticks armed on the way. Nothing sleeps.
class VirtualClock : public Clock, public WakeUp
{
public:
    TimePoint now() const override { return present; }
    void wakeAt(std::optional<TimePoint> when) override { armed = when; }

    void setHandler(std::function<void()> handler) override { onWake = std::move(handler); }
    std::optional<TimePoint> armedFor() const { return armed; }

    void advance(Duration by)
    {
        const TimePoint target = present + by;
        while (armed && *armed <= target) {
            const TimePoint at = *armed;
            present = std::max(present, at);
            onWake();
            if (armed == at)
                break; // the owner did not re-arm; nothing more will happen
        }
        present = target;
    }

    // Moves time on with the wake-up held back, as when the machine is suspended or starved.
    void stall(Duration by) { present += by; }
    // Delivers a held-back wake-up now, late.
    void wakeLate()
    {
        if (armed && *armed <= present)
            onWake();
    }

private:
    TimePoint present {};
    std::optional<TimePoint> armed;
    std::function<void()> onWake = [] {};
};

inline TimePoint at(long long milliseconds)
{
    return TimePoint { Milliseconds { milliseconds } };
}

} // namespace meridan::testing

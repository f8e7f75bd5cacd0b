#pragma once

#include "signal/wake_up.h"
#include "system/system_calls.h"
#include "system/watched_descriptor.h"

#include <chrono>
#include <functional>

namespace meridan {

// The phase timers' one operating-system timer: a kernel timerfd armed at absolute deadlines on
// the monotonic clock (the clock MonotonicClock reads) and watched by the Qt event loop. It wakes
// within a fraction of a millisecond of the deadline and never accumulates drift, where Qt's
// coarse timers may move a wake-up by 5 % of its interval.
//
// The event loop is woken `lead` before the deadline, and the handler then waits for the deadline
// itself on the same descriptor, armed `spin` before it, and spins on the clock for the rest: the
// loop's own wake-up and dispatch are over by the deadline, and a kernel wake-up that comes up to
// `spin` late still leaves the handler running at the deadline. That costs a second wake-up per
// deadline and at most `spin` of the processor, and keeps the event loop for at most `lead`.
class PreciseWakeUp final : public WakeUp
{
public:
    static constexpr std::chrono::microseconds defaultLead { 500 };
    static constexpr std::chrono::microseconds defaultSpin { 30 };

    // `early` is how long before each deadline the event loop wakes, and `spinning` how long
    // before it the last wait ends; zero for both hands the deadline's own wake-up to the loop.
    // The timer's system calls go to `io`.
    explicit PreciseWakeUp(Duration early = defaultLead, Duration spinning = defaultSpin,
            SystemCalls &io = LinuxSystemCalls::instance())
        : lead(early),
          spin(spinning),
          calls(io)
    {
    }
    PreciseWakeUp(const PreciseWakeUp &) = delete;
    PreciseWakeUp &operator=(const PreciseWakeUp &) = delete;

    void setHandler(std::function<void()> handler) override;
    // Arms the timer for `when` (at once if it has passed), or disarms it with nullopt. The kernel
    // timer is made on first use, so its failure is reported like any other run-time error.
    void wakeAt(std::optional<TimePoint> when) override;

private:
    void fired();
    void arm(std::optional<TimePoint> when);
    void waitUntil(TimePoint when);

    Duration lead;
    Duration spin;
    SystemCalls &calls;
    std::function<void()> onWake;
    WatchedDescriptor timer;
    std::optional<TimePoint> deadline;
};

} // namespace meridan

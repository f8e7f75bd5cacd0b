#pragma once

#include "wake_up.h"

#include <functional>
#include <memory>

class QSocketNotifier;

namespace meridan {

// The phase timers' one operating-system timer: a kernel timerfd armed at absolute deadlines on
// the monotonic clock and watched by the Qt event loop. It wakes within a fraction of a
// millisecond of the deadline and never accumulates drift, where Qt's coarse timers may move a
// wake-up by 5 % of its interval.
class PreciseWakeUp final : public WakeUp
{
public:
    explicit PreciseWakeUp(std::function<void()> handler);
    ~PreciseWakeUp() override;
    PreciseWakeUp(const PreciseWakeUp &) = delete;
    PreciseWakeUp &operator=(const PreciseWakeUp &) = delete;

    // Arms the timer for `when` (at once if it has passed), or disarms it with nullopt. The kernel
    // timer is made on first use, so its failure is reported like any other run-time error.
    void wakeAt(std::optional<TimePoint> when) override;

private:
    void fired();

    std::function<void()> onWake;
    int descriptor = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace meridan

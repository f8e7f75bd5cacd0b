#include "system/precise_wake_up.h"

#include "signal/run_time_error.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace meridan {

void PreciseWakeUp::setHandler(std::function<void()> handler)
{
    onWake = std::move(handler);
}

void PreciseWakeUp::wakeAt(std::optional<TimePoint> when)
{
    deadline = when;
    if (!timer.valid()) {
        if (!when)
            return;
        const int descriptor = calls.makeTimer();
        if (descriptor < 0)
            raiseRunTimeError("timerfd_create(CLOCK_MONOTONIC)", std::strerror(-descriptor));
        timer.watch(FileDescriptor(calls, descriptor), [this] { fired(); });
    }
    arm(when ? std::optional(*when - lead) : std::nullopt);
}

// Arms the kernel timer for `when` (at once if it has passed), or disarms it with nullopt.
void PreciseWakeUp::arm(std::optional<TimePoint> when)
{
    itimerspec alarm {};
    if (when) {
        // An all-zero moment would disarm the timer; one nanosecond on is as good as due.
        const std::int64_t nanoseconds =
                std::max<std::int64_t>(when->time_since_epoch().count(), 1);
        alarm.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
        alarm.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    }
    if (const int result = calls.armTimer(timer.get(), alarm); result < 0)
        raiseRunTimeError("timerfd_settime", std::strerror(-result));
}

// Waits for `when` without the event loop: on the kernel timer, armed `spin` before it (its
// wake-up, not a sleep with the thread's timer slack), then on the clock.
void PreciseWakeUp::waitUntil(TimePoint when)
{
    if (std::chrono::steady_clock::now() < when - spin) {
        arm(when - spin);
        if (const int result = calls.waitReadable(timer.get()); result < 0)
            raiseRunTimeError("poll(timerfd)", std::strerror(-result));
        std::uint64_t expirations = 0;
        [[maybe_unused]] const ssize_t bytes = timer.read(&expirations, sizeof expirations);
    }
    while (std::chrono::steady_clock::now() < when) {}
}

void PreciseWakeUp::fired()
{
    std::uint64_t expirations = 0;
    // Reading clears the descriptor's readiness; EAGAIN means a re-arm already cleared it.
    [[maybe_unused]] const ssize_t bytes = timer.read(&expirations, sizeof expirations);
    if (deadline && std::chrono::steady_clock::now() < *deadline)
        waitUntil(*deadline);
    if (onWake)
        onWake();
}

} // namespace meridan

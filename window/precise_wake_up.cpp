#include "precise_wake_up.h"

#include "run_time_error.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include <sys/timerfd.h>

namespace meridan {

void PreciseWakeUp::setHandler(std::function<void()> handler)
{
    onWake = std::move(handler);
}

void PreciseWakeUp::wakeAt(std::optional<TimePoint> when)
{
    if (!timer.valid()) {
        if (!when)
            return;
        const int descriptor = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (descriptor < 0)
            raiseRunTimeError("timerfd_create(CLOCK_MONOTONIC)", std::strerror(errno));
        timer.watch(FileDescriptor(LinuxSystemCalls::instance(), descriptor), [this] { fired(); });
    }
    itimerspec alarm {};
    if (when) {
        const auto since = when->time_since_epoch().count();
        // An all-zero deadline would disarm the timer; one nanosecond on is as good as due.
        const std::int64_t nanoseconds = since > 0 ? since : 1;
        alarm.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
        alarm.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    }
    if (::timerfd_settime(timer.get(), TFD_TIMER_ABSTIME, &alarm, nullptr) != 0)
        raiseRunTimeError("timerfd_settime", std::strerror(errno));
}

void PreciseWakeUp::fired()
{
    std::uint64_t expirations = 0;
    // Reading clears the descriptor's readiness; EAGAIN means a re-arm already cleared it.
    [[maybe_unused]] const ssize_t bytes = timer.read(&expirations, sizeof expirations);
    if (onWake)
        onWake();
}

} // namespace meridan

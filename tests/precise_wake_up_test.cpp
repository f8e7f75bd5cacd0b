#include "system/precise_wake_up.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace meridan::testing {
namespace {

    using namespace std::chrono_literals;

    TimePoint now()
    {
        return std::chrono::steady_clock::now();
    }

    // Runs the event loop until the wake-up's handler has run or `limit` has passed; the moment
    // the handler ran, if it did.
    std::optional<TimePoint> runUntilWoken(PreciseWakeUp &wakeUp, std::chrono::milliseconds limit)
    {
        std::optional<TimePoint> ran;
        QEventLoop loop;
        wakeUp.setHandler([&] {
            ran = now();
            loop.quit();
        });
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec();
        return ran;
    }

    // The loop is woken early and the handler waits for the deadline itself: whatever the lead
    // and wherever the deadline lies against it, the handler runs once the deadline has come, and
    // soon after it.
    TEST(PreciseWakeUpTest, RunsTheHandlerAtTheDeadlineNeverBefore)
    {
        for (const Duration lead : { Duration(0us), Duration(PreciseWakeUp::defaultLead) }) {
            for (const Duration offset : { Duration(-2ms), Duration(0us), Duration(200us),
                         Duration(PreciseWakeUp::defaultLead), Duration(3ms) }) {
                SCOPED_TRACE(::testing::Message()
                        << "lead " << lead.count() << " ns, deadline now + " << offset.count()
                        << " ns");
                PreciseWakeUp wakeUp(lead);
                const TimePoint deadline = now() + offset;
                wakeUp.wakeAt(deadline);
                const std::optional<TimePoint> ran = runUntilWoken(wakeUp, 2000ms);
                ASSERT_TRUE(ran.has_value());
                EXPECT_GE(*ran, deadline);
                EXPECT_LT(*ran, std::max(deadline, now()) + 500ms);
            }
        }
    }

    TEST(PreciseWakeUpTest, DisarmedOrReArmedItKeepsOnlyTheLastDeadline)
    {
        PreciseWakeUp wakeUp;
        wakeUp.wakeAt(now() + 1ms);
        wakeUp.wakeAt(std::nullopt);
        EXPECT_FALSE(runUntilWoken(wakeUp, 20ms).has_value());

        // Moved later while armed: the first deadline no longer wakes anything.
        const TimePoint first = now() + 1ms;
        wakeUp.wakeAt(first);
        const TimePoint later = first + 5ms;
        wakeUp.wakeAt(later);
        const std::optional<TimePoint> ran = runUntilWoken(wakeUp, 2000ms);
        ASSERT_TRUE(ran.has_value());
        EXPECT_GE(*ran, later);
    }

} // namespace
} // namespace meridan::testing

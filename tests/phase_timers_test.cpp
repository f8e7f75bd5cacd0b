#include "signal/event_dispatcher.h"
#include "signal/phase_scheduler.h"
#include "signal/phase_timer.h"
#include "signal/run_time_error.h"
#include "tests/fake_controls.h"
#include "tests/virtual_clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using namespace std::chrono_literals;

    // Four timers numbered 1 to 4; each tick appends "T<n>@<ms>" to the log and then runs the
    // timer's optional extra action.
    class PhaseTimers : public ::testing::Test
    {
    protected:
        PhaseTimers()
        {
            dispatcher.setOnEnd([this] { scheduler.stop(); }); // as the panel wires them
        }

        std::function<void()> tick(int number)
        {
            return [this, number] {
                const auto ms = std::chrono::duration_cast<Milliseconds>(
                        scheduler.logicalNow().time_since_epoch());
                log.push_back("T" + std::to_string(number) + "@" + std::to_string(ms.count()));
                if (extra[number])
                    extra[number]();
            };
        }

        FakeDesktop desktop;
        EventDispatcher dispatcher { desktop };
        VirtualClock clock; // the scheduler wires its wake-up to run the due ticks
        PhaseScheduler scheduler { clock, clock, dispatcher };
        std::vector<std::string> log;
        std::function<void()> extra[5];
        PhaseTimer timer1 { scheduler, 200, tick(1) };
        PhaseTimer timer2 { scheduler, 100, tick(2) };
        PhaseTimer timer3 { scheduler, 200, tick(3) };
        PhaseTimer timer4 { scheduler, 100, tick(4) };
    };

    TEST_F(PhaseTimers, TickEveryIntervalCountedFromEnabling)
    {
        clock.advance(50ms);
        timer1.setEnabled(true);
        clock.advance(650ms);
        EXPECT_THAT(log, ElementsAre("T1@250", "T1@450", "T1@650"));
    }

    TEST_F(PhaseTimers, ACountStartedInsideAHandlerStartsAtTheTicksDueTime)
    {
        // Timer 1 hands over to timer 2 and back, as a lamp's phases do. The wake-ups arrive 30 ms
        // late every time, yet every edge stays on its ideal moment.
        extra[1] = [this] {
            timer2.setEnabled(true);
            timer1.setEnabled(false);
        };
        extra[2] = [this] {
            timer1.setEnabled(true);
            timer2.setEnabled(false);
        };
        timer1.setEnabled(true);
        for (int i = 0; i < 6; ++i) {
            const TimePoint due = *clock.armedFor();
            clock.stall(due - clock.now() + 30ms);
            clock.wakeLate();
        }
        EXPECT_THAT(log, ElementsAre("T1@200", "T2@300", "T1@500", "T2@600", "T1@800", "T2@900"));
    }

    TEST_F(PhaseTimers, EnablingAnEnabledTimerDoesNotRestartItsCount)
    {
        timer1.setEnabled(true);
        clock.advance(150ms);
        timer1.setEnabled(true);
        clock.advance(100ms);
        EXPECT_THAT(log, ElementsAre("T1@200"));
    }

    TEST_F(PhaseTimers, DisablingCancelsTheTickNotYetHandledAndReenablingCountsAfresh)
    {
        timer1.setEnabled(true);
        clock.advance(199ms);
        timer1.setEnabled(false);
        clock.advance(100ms);
        EXPECT_TRUE(log.empty());
        timer1.setEnabled(true); // at 299
        clock.advance(300ms);
        EXPECT_THAT(log, ElementsAre("T1@499"));
    }

    TEST_F(PhaseTimers, ANewIntervalAppliesToTheCountUnderWay)
    {
        timer1.setEnabled(true);
        clock.advance(50ms);
        timer1.setInterval(80); // due at 0 + 80
        clock.advance(200ms);
        EXPECT_THAT(log, ElementsAre("T1@80", "T1@160", "T1@240"));
    }

    TEST_F(PhaseTimers, ANewIntervalWhoseMomentHasPassedTicksAtOnce)
    {
        timer1.setEnabled(true);
        clock.advance(150ms);
        timer1.setInterval(120); // 0 + 120 has passed: due at once, counted from 120
        clock.advance(0ms);
        EXPECT_THAT(log, ElementsAre("T1@120"));
        clock.advance(100ms);
        EXPECT_THAT(log, ElementsAre("T1@120", "T1@240"));
    }

    TEST_F(PhaseTimers, IntervalZeroNeverTicksAndCountsAgainFromANonZeroInterval)
    {
        timer1.setInterval(0);
        timer1.setEnabled(true);
        clock.advance(10s);
        EXPECT_TRUE(log.empty());
        EXPECT_FALSE(clock.armedFor().has_value());
        EXPECT_TRUE(timer1.enabled());
        timer1.setInterval(300); // at 10000
        clock.advance(700ms);
        EXPECT_THAT(log, ElementsAre("T1@10300", "T1@10600"));
    }

    TEST_F(PhaseTimers, IntervalZeroStopsARunningCount)
    {
        timer2.setEnabled(true);
        clock.advance(50ms);
        timer2.setInterval(0);
        clock.advance(1s);
        EXPECT_TRUE(log.empty());
    }

    TEST_F(PhaseTimers, TicksDueTogetherRunInTimerNumberOrder)
    {
        timer3.setEnabled(true);
        timer1.setEnabled(true);
        timer4.setEnabled(true);
        timer2.setEnabled(true);
        clock.advance(200ms);
        EXPECT_THAT(log, ElementsAre("T2@100", "T4@100", "T1@200", "T2@200", "T3@200", "T4@200"));
    }

    TEST_F(PhaseTimers, TicksRunInDueTimeOrderWithinOneLateWakeUp)
    {
        timer1.setInterval(300);
        timer2.setInterval(250);
        timer1.setEnabled(true);
        timer2.setEnabled(true);
        clock.stall(320ms); // both late, each by less than its interval
        clock.wakeLate();
        EXPECT_THAT(log, ElementsAre("T2@250", "T1@300"));
        EXPECT_EQ(timer2.due(), at(500));
        EXPECT_EQ(timer1.due(), at(600));
    }

    TEST_F(PhaseTimers, AStallOfSeveralIntervalsGivesOneTickThenCountsFromThePresent)
    {
        timer2.setEnabled(true);
        clock.stall(1050ms); // ten ticks missed
        clock.wakeLate();
        EXPECT_THAT(log, ElementsAre("T2@1050"));
        clock.advance(200ms);
        EXPECT_THAT(log, ElementsAre("T2@1050", "T2@1150", "T2@1250"));
    }

    TEST_F(PhaseTimers, ACountStartedByALateTickStartsFromThePresentToo)
    {
        extra[1] = [this] {
            timer2.setEnabled(true);
            timer1.setEnabled(false);
        };
        timer1.setEnabled(true);
        clock.stall(5s);
        clock.wakeLate();
        EXPECT_THAT(log, ElementsAre("T1@5000"));
        clock.advance(100ms);
        EXPECT_THAT(log, ElementsAre("T1@5000", "T2@5100"));
    }

    TEST_F(PhaseTimers, LogicalTimeNeverRunsBehindACountAnEventHasStarted)
    {
        timer2.setEnabled(true); // due at 100
        clock.stall(130ms); // the wake-up is late, and an event is handled first:
        timer3.setEnabled(true); // a count starting at 130
        clock.wakeLate();
        EXPECT_THAT(log, ElementsAre("T2@130"));
        EXPECT_EQ(timer2.due(), at(230));
    }

    TEST_F(PhaseTimers, ATickArmedInsideAHandlerAndAlreadyDueRunsInTheSameWakeUp)
    {
        extra[1] = [this] { timer2.setEnabled(true); };
        timer2.setInterval(1);
        timer1.setEnabled(true);
        clock.stall(200ms);
        clock.wakeLate();
        // Timer 2 counts from 200, so it is due at 201, after the present: not yet.
        EXPECT_THAT(log, ElementsAre("T1@200"));
        clock.stall(1ms);
        clock.wakeLate();
        EXPECT_THAT(log, ElementsAre("T1@200", "T2@201"));
    }

    TEST_F(PhaseTimers, TheWakeUpIsArmedForTheEarliestDueTick)
    {
        EXPECT_FALSE(clock.armedFor().has_value());
        timer1.setEnabled(true);
        EXPECT_EQ(clock.armedFor(), at(200));
        timer2.setEnabled(true);
        EXPECT_EQ(clock.armedFor(), at(100));
        timer2.setEnabled(false);
        EXPECT_EQ(clock.armedFor(), at(200));
        timer1.setEnabled(false);
        EXPECT_FALSE(clock.armedFor().has_value());
    }

    TEST_F(PhaseTimers, NoTickRunsOnceTheProgramHasEnded)
    {
        extra[1] = [this] { dispatcher.end(ExitStatus::Ended); };
        timer1.setEnabled(true);
        timer3.setEnabled(true); // due at the same moment as timer 1
        clock.advance(1s);
        EXPECT_THAT(log, ElementsAre("T1@200"));
        EXPECT_FALSE(clock.armedFor().has_value());
    }

    TEST_F(PhaseTimers, ANegativeIntervalIsARunTimeError)
    {
        EXPECT_THROW(timer3.setInterval(-1), RunTimeError);
        EXPECT_EQ(timer3.interval(), 200);
    }

    // The window holds its repaints around every handler: a wake-up's ticks, each run inside it,
    // and the report of an error one of them raises are all inside one course of the scope.
    TEST_F(PhaseTimers, EveryWakeUpRunsInsideTheDispatchersScopeOnce)
    {
        int depth = 0;
        std::vector<std::string> scoped;
        dispatcher.setScope([&](const std::function<void()> &course) {
            ++depth;
            scoped.push_back("open");
            course();
            scoped.push_back("close");
            --depth;
        });
        extra[1] = [&] { log.push_back("depth " + std::to_string(depth)); };
        extra[3] = [&] { raiseRunTimeError("SetOutputLevel(0, 100)", "injected failure"); };
        desktop.whileReported = [&] {
            log.push_back("reported at depth " + std::to_string(depth));
        };
        timer1.setEnabled(true);
        timer3.setEnabled(true);
        clock.advance(200ms);
        EXPECT_THAT(log, ElementsAre("T1@200", "depth 1", "T3@200", "reported at depth 1"));
        EXPECT_THAT(scoped, ElementsAre("open", "close"));
    }

} // namespace
} // namespace meridan::testing

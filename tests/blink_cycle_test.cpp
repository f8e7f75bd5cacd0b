#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::IsEmpty;
    using namespace std::chrono_literals;

    class BlinkCycle : public ::testing::Test
    {
    protected:
        BlinkCycle() { panel.load(); }

        void enable(PhaseTimer Form1::*timer)
        {
            panel.form.dispatch([timer](Form1 &target) { (target.*timer).setEnabled(true); });
        }

        Panel panel;
        Form1 &form = panel.form;
    };

    TEST_F(BlinkCycle, TheLeftLampFollowsTheWorkedTimeline)
    {
        enable(&Form1::Timer1);
        panel.clock.advance(700ms);
        EXPECT_THAT(panel.writesOf(1),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(300), 1, 0 },
                        OutputWrite { at(500), 1, 100 }, OutputWrite { at(600), 1, 0 }));
        EXPECT_THAT(panel.Picture1.changes, ElementsAre(LampOn, LampOff, LampOn, LampOff));
        EXPECT_THAT(panel.writesOf(0), IsEmpty());
    }

    TEST_F(BlinkCycle, TheRightLampRunsTheSameCycleOnOutputZero)
    {
        enable(&Form1::Timer3);
        panel.clock.advance(350ms);
        EXPECT_THAT(panel.writesOf(0),
                ElementsAre(OutputWrite { at(200), 0, 100 }, OutputWrite { at(300), 0, 0 }));
        EXPECT_THAT(panel.Picture2.changes, ElementsAre(LampOn, LampOff));
        EXPECT_THAT(panel.Picture1.changes, IsEmpty());
    }

    struct PhaseStep
    {
        const char *name;
        void (Form1::*procedure)();
        FakeBox Panel::*box;
        Colour colour;
        std::int16_t output;
        std::int32_t level;
        PhaseTimer Form1::*starts;
        PhaseTimer Form1::*stops;
    };

    TEST_F(BlinkCycle, EachPhaseOperationSetsItsBoxAndOutputAndHandsOver)
    {
        const PhaseStep table[] = {
            { "leftlighton", &Form1::leftlighton, &Panel::Picture1, LampOn, 1, 100, &Form1::Timer2,
                    &Form1::Timer1 },
            { "leftlightoff", &Form1::leftlightoff, &Panel::Picture1, LampOff, 1, 0, &Form1::Timer1,
                    &Form1::Timer2 },
            { "rightlighton", &Form1::rightlighton, &Panel::Picture2, LampOn, 0, 100,
                    &Form1::Timer4, &Form1::Timer3 },
            { "rightlightoff", &Form1::rightlightoff, &Panel::Picture2, LampOff, 0, 0,
                    &Form1::Timer3, &Form1::Timer4 },
        };
        for (const PhaseStep &step : table) {
            SCOPED_TRACE(step.name);
            Panel fresh;
            fresh.load();
            (fresh.form.*step.stops).setEnabled(true);
            fresh.form.dispatch(step.procedure);
            EXPECT_EQ((fresh.*step.box).colour, step.colour);
            EXPECT_THAT(fresh.board->writes(),
                    ElementsAre(OutputWrite { at(0), step.output, step.level }));
            EXPECT_TRUE((fresh.form.*step.starts).enabled());
            EXPECT_FALSE((fresh.form.*step.stops).enabled());
            EXPECT_EQ(fresh.form.hazard, kFalse);
        }
    }

    TEST_F(BlinkCycle, ATimer1TickOutsideHazardModeLeavesTheRightSideAlone)
    {
        // Only -1 is True: every other value counts as not hazard.
        for (const Boolean notHazard :
                { Boolean { 0 }, Boolean { 1 }, Boolean { 0x7FFF }, Boolean { -2 } }) {
            SCOPED_TRACE(notHazard);
            Panel fresh;
            fresh.load();
            fresh.form.hazard = notHazard;
            fresh.form.Timer1.setEnabled(true);
            fresh.clock.advance(200ms);
            EXPECT_EQ(fresh.Picture1.colour, LampOn);
            EXPECT_THAT(fresh.Picture2.changes, IsEmpty());
            EXPECT_THAT(fresh.writesOf(0), IsEmpty());
            EXPECT_FALSE(fresh.form.Timer3.enabled());
            EXPECT_FALSE(fresh.form.Timer4.enabled());
        }
    }

    TEST_F(BlinkCycle, HazardTicksOfTheLeftTimersDriveBothLampsAndTheRightTimers)
    {
        form.hazard = kTrue;
        enable(&Form1::Timer1);
        panel.clock.advance(200ms);
        EXPECT_THAT(panel.board->writes(),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(200), 0, 100 }));
        EXPECT_EQ(panel.Picture2.colour, LampOn);
        EXPECT_TRUE(form.Timer4.enabled());
        EXPECT_FALSE(form.Timer3.enabled());

        panel.clock.advance(100ms);
        EXPECT_EQ(panel.board->outputLevel(0), 0);
        EXPECT_EQ(panel.board->outputLevel(1), 0);
        EXPECT_EQ(panel.Picture2.colour, LampOff);
        EXPECT_TRUE(form.Timer3.enabled());
        EXPECT_FALSE(form.Timer4.enabled());
    }

    TEST_F(BlinkCycle, InHazardModeBothLampsShareEveryPhaseWhileTheRightTimersRunToo)
    {
        form.hazard = kTrue;
        enable(&Form1::Timer1);
        for (int step = 0; step < 400; ++step) {
            panel.clock.advance(7ms);
            ASSERT_EQ(panel.board->outputLevel(0), panel.board->outputLevel(1))
                    << "at step " << step;
            ASSERT_EQ(panel.Picture1.colour, panel.Picture2.colour) << "at step " << step;
        }
    }

    TEST_F(BlinkCycle, TicksDueTogetherInHazardModeAgreeWhicheverRunsFirst)
    {
        using Tick = void (Form1::*)();
        const std::pair<Tick, Tick> pairs[] = {
            { &Form1::Timer2_Timer, &Form1::Timer4_Timer },
            { &Form1::Timer4_Timer, &Form1::Timer2_Timer },
            { &Form1::Timer1_Timer, &Form1::Timer3_Timer },
            { &Form1::Timer3_Timer, &Form1::Timer1_Timer },
        };
        for (const auto &[first, second] : pairs) {
            Panel fresh;
            fresh.load();
            fresh.form.hazard = kTrue;
            fresh.form.dispatch(first);
            fresh.form.dispatch(second);
            EXPECT_EQ(fresh.board->outputLevel(0), fresh.board->outputLevel(1));
            EXPECT_EQ(fresh.Picture1.colour, fresh.Picture2.colour);
        }
    }

    TEST_F(BlinkCycle, AnOnTimerWithIntervalZeroNeverLightsTheLamp)
    {
        form.Timer1.setInterval(0);
        enable(&Form1::Timer1);
        panel.clock.advance(5s);
        EXPECT_THAT(panel.board->writes(), IsEmpty());
    }

    TEST_F(BlinkCycle, AnOffTimerWithIntervalZeroLeavesTheLampLit)
    {
        form.Timer1.setInterval(1);
        form.Timer2.setInterval(0);
        enable(&Form1::Timer1);
        panel.clock.advance(5s);
        EXPECT_THAT(panel.writesOf(1), ElementsAre(OutputWrite { at(1), 1, 100 }));
        EXPECT_EQ(panel.Picture1.colour, LampOn);
    }

} // namespace
} // namespace meridan::testing

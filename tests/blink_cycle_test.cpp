#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::IsEmpty;
    using namespace std::chrono_literals;

    class BlinkCycle : public ::testing::Test
    {
    protected:
        BlinkCycle() { panel.load(); }

        // Starts a blink cycle as its command does: LEFT runs Timer1, RIGHT Timer3, HAZARD Timer1
        // in hazard mode.
        void start(void (Form1::*command)()) { panel.form.dispatch(command); }

        Panel panel;
        Form1 &form = panel.form;
    };

    TEST_F(BlinkCycle, TheLeftLampFollowsTheWorkedTimeline)
    {
        start(&Form1::leftlight);
        panel.clock.advance(700ms);
        EXPECT_THAT(panel.writesOf(1),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(300), 1, 0 },
                        OutputWrite { at(500), 1, 100 }, OutputWrite { at(600), 1, 0 }));
        EXPECT_THAT(panel.Picture1.changes, ElementsAre(LampOn, LampOff, LampOn, LampOff));
        EXPECT_THAT(panel.writesOf(0), IsEmpty());
    }

    TEST_F(BlinkCycle, TheRightLampRunsTheSameCycleOnOutputZero)
    {
        start(&Form1::rightlight);
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
        int starts; // the timer it enables
        int stops; // the timer it disables, which the procedure before it (if any) enabled
        void (Form1::*before)();
    };

    TEST_F(BlinkCycle, EachPhaseOperationSetsItsBoxAndOutputAndHandsOver)
    {
        const PhaseStep table[] = {
            { "leftlighton", &Form1::leftlighton, &Panel::Picture1, LampOn, 1, 100, 2, 1,
                    &Form1::leftlight },
            { "leftlightoff", &Form1::leftlightoff, &Panel::Picture1, LampOff, 1, 0, 1, 2,
                    &Form1::leftlighton },
            { "rightlighton", &Form1::rightlighton, &Panel::Picture2, LampOn, 0, 100, 4, 3,
                    &Form1::rightlight },
            { "rightlightoff", &Form1::rightlightoff, &Panel::Picture2, LampOff, 0, 0, 3, 4,
                    &Form1::rightlighton },
        };
        for (const PhaseStep &step : table) {
            SCOPED_TRACE(step.name);
            Panel fresh;
            fresh.load();
            fresh.form.dispatch(step.before);
            ASSERT_TRUE(fresh.form.timer(step.stops).enabled());
            const auto earlier = static_cast<long>(fresh.board->writes().size());
            fresh.form.dispatch(step.procedure);
            EXPECT_EQ((fresh.*step.box).colour, step.colour);
            EXPECT_THAT(std::vector<OutputWrite>(fresh.board->writes().begin() + earlier,
                                fresh.board->writes().end()),
                    ElementsAre(OutputWrite { at(0), step.output, step.level }));
            EXPECT_TRUE(fresh.form.timer(step.starts).enabled());
            EXPECT_FALSE(fresh.form.timer(step.stops).enabled());
            EXPECT_EQ(fresh.form.hazardMode(), kFalse);
        }
    }

    TEST_F(BlinkCycle, ATimer1TickOutsideHazardModeLeavesTheRightSideAlone)
    {
        // Outside hazard mode as the panel can be: after start-up, and after OFF ended hazard.
        for (const bool hazardEnded : { false, true }) {
            SCOPED_TRACE(hazardEnded ? "after HAZARD and OFF" : "after start-up");
            Panel fresh;
            fresh.load();
            if (hazardEnded) {
                fresh.form.dispatch(&Form1::Command3_Click);
                fresh.form.dispatch(&Form1::Command4_Click);
                fresh.Picture2.changes.clear(); // what OFF did is not the tick's
                std::vector<OutputWrite> offWrites;
                fresh.board->drainWritesInto(offWrites);
            }
            ASSERT_EQ(fresh.form.hazardMode(), kFalse);
            fresh.form.dispatch(&Form1::leftlight);
            fresh.clock.advance(200ms);
            EXPECT_EQ(fresh.Picture1.colour, LampOn);
            EXPECT_THAT(fresh.Picture2.changes, IsEmpty());
            EXPECT_THAT(fresh.writesOf(0), IsEmpty());
            EXPECT_FALSE(fresh.form.timer(3).enabled());
            EXPECT_FALSE(fresh.form.timer(4).enabled());
        }
    }

    TEST_F(BlinkCycle, HazardTicksOfTheLeftTimersDriveBothLampsAndTheRightTimers)
    {
        start(&Form1::lightoff);
        panel.clock.advance(200ms);
        EXPECT_THAT(panel.board->writes(),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(200), 0, 100 }));
        EXPECT_EQ(panel.Picture2.colour, LampOn);
        EXPECT_TRUE(form.timer(4).enabled());
        EXPECT_FALSE(form.timer(3).enabled());

        panel.clock.advance(100ms);
        EXPECT_EQ(panel.board->outputLevel(0), 0);
        EXPECT_EQ(panel.board->outputLevel(1), 0);
        EXPECT_EQ(panel.Picture2.colour, LampOff);
        EXPECT_TRUE(form.timer(3).enabled());
        EXPECT_FALSE(form.timer(4).enabled());
    }

    TEST_F(BlinkCycle, InHazardModeBothLampsShareEveryPhaseWhileTheRightTimersRunToo)
    {
        start(&Form1::lightoff);
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
            fresh.form.dispatch(&Form1::lightoff); // hazard mode, with the lamps dark
            fresh.form.dispatch(first);
            fresh.form.dispatch(second);
            EXPECT_EQ(fresh.board->outputLevel(0), fresh.board->outputLevel(1));
            EXPECT_EQ(fresh.Picture1.colour, fresh.Picture2.colour);
        }
    }

    TEST_F(BlinkCycle, AnOnTimerWithIntervalZeroNeverLightsTheLamp)
    {
        panel.HScroll1.position = 0; // Timer1's interval 0, as the scroll bar's value sets it
        form.dispatch(&Form1::HScroll1_Change);
        start(&Form1::leftlight);
        panel.clock.advance(5s);
        EXPECT_THAT(panel.board->writes(), IsEmpty());
    }

    TEST_F(BlinkCycle, AnOffTimerWithIntervalZeroLeavesTheLampLit)
    {
        panel.HScroll1.position = 1; // Timer1's interval 1 and Timer2's 0 (1 / 2 to even)
        form.dispatch(&Form1::HScroll1_Change);
        ASSERT_EQ(form.timer(2).interval(), 0);
        start(&Form1::leftlight);
        panel.clock.advance(5s);
        EXPECT_THAT(panel.writesOf(1), ElementsAre(OutputWrite { at(1), 1, 100 }));
        EXPECT_EQ(panel.Picture1.colour, LampOn);
    }

    std::vector<bool> timers(const Form1 &form)
    {
        return { form.timer(1).enabled(), form.timer(2).enabled(), form.timer(3).enabled(),
            form.timer(4).enabled() };
    }

    // Each hazard step on its own, from both lamps in the other phase: in a running panel
    // Timer4 (or Timer3) falls due with it and would hide a missing right-hand step.
    TEST(HazardSteps, EachLeftTimersTickDrivesTheRightLampAndItsTimersOnItsOwn)
    {
        {
            SCOPED_TRACE("Timer2: both go dark");
            Panel panel;
            panel.load();
            panel.form.dispatch(&Form1::lightoff); // hazard mode
            panel.form.dispatch(&Form1::leftlighton);
            panel.form.dispatch(&Form1::rightlighton);
            panel.form.dispatch(&Form1::Timer2_Timer);
            EXPECT_EQ(panel.board->outputLevel(1), 0);
            EXPECT_EQ(panel.board->outputLevel(0), 0);
            EXPECT_EQ(panel.Picture2.colour, LampOff);
            EXPECT_THAT(timers(panel.form), ElementsAre(true, false, true, false));
        }
        {
            SCOPED_TRACE("Timer1: both light");
            Panel panel;
            panel.load();
            panel.form.dispatch(&Form1::lightoff); // hazard mode
            panel.form.dispatch(&Form1::Timer1_Timer);
            EXPECT_EQ(panel.board->outputLevel(1), 100);
            EXPECT_EQ(panel.board->outputLevel(0), 100);
            EXPECT_EQ(panel.Picture2.colour, LampOn);
            EXPECT_THAT(timers(panel.form), ElementsAre(false, true, false, true));
        }
    }

    // The phase operations never touch a button: over two seconds of each mode, every button
    // stays as the mode command left it.
    TEST(PhaseOperations, LeaveEveryButtonAsTheModeCommandLeftIt)
    {
        for (auto command :
                { &Form1::Command1_Click, &Form1::Command2_Click, &Form1::Command3_Click }) {
            Panel panel;
            panel.load();
            panel.form.dispatch(command);
            const std::vector<bool> buttons { panel.Command1.enabled, panel.Command2.enabled,
                panel.Command3.enabled };
            for (int step = 0; step < 200; ++step) {
                panel.clock.advance(10ms);
                ASSERT_EQ((std::vector<bool> { panel.Command1.enabled, panel.Command2.enabled,
                                  panel.Command3.enabled }),
                        buttons)
                        << "at " << (step + 1) * 10 << " ms";
            }
            EXPECT_GE(panel.board->writes().size(), 10u); // the lamps did blink meanwhile
        }
    }

} // namespace
} // namespace meridan::testing

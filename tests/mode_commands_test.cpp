#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::IsEmpty;
    using namespace std::chrono_literals;

    class ModeCommands : public ::testing::Test
    {
    protected:
        ModeCommands() { panel.load(); }

        std::vector<bool> buttons() const
        {
            return { panel.Command1.enabled, panel.Command2.enabled, panel.Command3.enabled };
        }
        std::vector<bool> timers() const
        {
            return { form.timer(1).enabled(), form.timer(2).enabled(), form.timer(3).enabled(),
                form.timer(4).enabled() };
        }

        Panel panel;
        Form1 &form = panel.form;
    };

    struct ButtonRow
    {
        const char *after;
        void (Form1::*click)();
        bool left, right, hazard; // LEFT, RIGHT, HAZARD enabled afterwards
    };

    TEST_F(ModeCommands, ButtonStatesFollowTheTableFromAnyStartingState)
    {
        // "same" in the table: a command leaves that button as it was, whatever that was.
        const ButtonRow table[] = {
            { "leftlight", &Form1::Command1_Click, /*same*/ true, false, false },
            { "rightlight", &Form1::Command2_Click, false, /*same*/ true, false },
            { "lightoff", &Form1::Command3_Click, false, false, /*same*/ true },
            { "offlights", &Form1::Command4_Click, true, true, true },
        };
        for (const bool startEnabled : { true, false }) {
            for (const ButtonRow &row : table) {
                SCOPED_TRACE(std::string(row.after)
                        + (startEnabled ? " from enabled" : " from disabled"));
                Panel fresh;
                fresh.load();
                // Start-up leaves the buttons as the window made them: enabled.
                EXPECT_EQ(fresh.Command1.sets + fresh.Command2.sets + fresh.Command3.sets, 0);
                fresh.Command1.enabled = fresh.Command2.enabled = fresh.Command3.enabled =
                        startEnabled;
                fresh.form.dispatch(row.click);
                const bool sameLeft = row.click == &Form1::Command1_Click;
                const bool sameRight = row.click == &Form1::Command2_Click;
                const bool sameHazard = row.click == &Form1::Command3_Click;
                EXPECT_EQ(fresh.Command1.enabled, sameLeft ? startEnabled : row.left);
                EXPECT_EQ(fresh.Command2.enabled, sameRight ? startEnabled : row.right);
                EXPECT_EQ(fresh.Command3.enabled, sameHazard ? startEnabled : row.hazard);
            }
        }
    }

    TEST_F(ModeCommands, LeftStartsOnlyTheLeftOnTimerAndWritesNothing)
    {
        form.dispatch(&Form1::Command1_Click);
        EXPECT_THAT(timers(), ElementsAre(true, false, false, false));
        EXPECT_EQ(form.hazardMode(), kFalse);
        EXPECT_THAT(panel.Picture1.changes, IsEmpty());
        EXPECT_THAT(panel.Picture2.changes, IsEmpty());
        EXPECT_THAT(panel.board->writes(), IsEmpty());
        // The cycle's first lighting comes one full on-timer interval later.
        panel.clock.advance(200ms);
        EXPECT_THAT(panel.board->writes(), ElementsAre(OutputWrite { at(200), 1, 100 }));
    }

    TEST_F(ModeCommands, RightStartsOnlyTheRightOnTimerAndWritesNothing)
    {
        form.dispatch(&Form1::Command2_Click);
        EXPECT_THAT(timers(), ElementsAre(false, false, true, false));
        EXPECT_EQ(form.hazardMode(), kFalse);
        EXPECT_THAT(panel.Picture1.changes, IsEmpty());
        EXPECT_THAT(panel.board->writes(), IsEmpty());
    }

    TEST_F(ModeCommands, HazardSetsHazardWhitensBothBoxesAndStopsNoTimer)
    {
        form.dispatch(&Form1::Command2_Click);
        panel.clock.advance(200ms); // right lamp lit: Timer4 running
        form.dispatch(&Form1::Command3_Click);
        EXPECT_EQ(form.hazardMode(), kTrue);
        EXPECT_THAT(timers(), ElementsAre(true, false, false, true));
        EXPECT_EQ(panel.Picture1.colour, LampOff);
        EXPECT_EQ(panel.Picture2.colour, LampOff);
        EXPECT_EQ(panel.board->writes().size(), 1u); // only the right lamp's lighting
        EXPECT_EQ(panel.board->outputLevel(0), 100);
    }

    TEST_F(ModeCommands, HazardBlinksBothLampsTogetherFromTheNextTimer1Tick)
    {
        form.dispatch(&Form1::Command3_Click);
        panel.clock.advance(600ms);
        EXPECT_THAT(panel.board->writes(),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(200), 0, 100 },
                        OutputWrite { at(300), 1, 0 }, OutputWrite { at(300), 0, 0 },
                        OutputWrite { at(500), 1, 100 }, OutputWrite { at(500), 0, 100 },
                        OutputWrite { at(600), 1, 0 }, OutputWrite { at(600), 0, 0 }));
    }

    TEST_F(ModeCommands, OffReturnsEverythingToTheStartUpStateAndDarkensOutputOneThenZero)
    {
        form.dispatch(&Form1::Command3_Click);
        panel.clock.advance(250ms); // both lamps lit
        form.dispatch(&Form1::Command4_Click);
        EXPECT_EQ(form.hazardMode(), kFalse);
        EXPECT_THAT(timers(), ElementsAre(false, false, false, false));
        EXPECT_THAT(buttons(), ElementsAre(true, true, true));
        EXPECT_EQ(panel.Picture1.colour, LampOff);
        EXPECT_EQ(panel.Picture2.colour, LampOff);
        const auto &writes = panel.board->writes();
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[writes.size() - 2], (OutputWrite { at(250), 1, 0 }));
        EXPECT_EQ(writes.back(), (OutputWrite { at(250), 0, 0 }));
        const std::size_t count = writes.size();
        panel.clock.advance(5s);
        EXPECT_EQ(panel.board->writes().size(), count);
    }

    TEST_F(ModeCommands, OffWithNothingRunningStillWritesBothOutputsDarkAndEnablesTheButtons)
    {
        panel.Command1.enabled = panel.Command2.enabled = panel.Command3.enabled = false;
        form.dispatch(&Form1::Command4_Click);
        EXPECT_THAT(panel.board->writes(),
                ElementsAre(OutputWrite { at(0), 1, 0 }, OutputWrite { at(0), 0, 0 }));
        EXPECT_THAT(buttons(), ElementsAre(true, true, true));
    }

    TEST_F(ModeCommands, LeftDuringTheLitPhaseRunsBothLeftTimersUntilTheNextTick)
    {
        form.dispatch(&Form1::Command1_Click);
        panel.clock.advance(250ms); // lit at 200; Timer2 due at 300
        form.dispatch(&Form1::Command1_Click); // Timer1 counts from 250: due at 450
        EXPECT_THAT(timers(), ElementsAre(true, true, false, false));
        panel.clock.advance(50ms); // Timer2 at 300 darkens; enabling Timer1 again keeps its count
        EXPECT_THAT(timers(), ElementsAre(true, false, false, false));
        panel.clock.advance(150ms);
        EXPECT_THAT(panel.writesOf(1),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(300), 1, 0 },
                        OutputWrite { at(450), 1, 100 }));
    }

    TEST_F(ModeCommands, HazardAgainDuringALitPhaseWhitensTheBoxesWhileTheLampsStayLit)
    {
        form.dispatch(&Form1::Command3_Click);
        panel.clock.advance(250ms);
        ASSERT_EQ(panel.Picture1.colour, LampOn);
        form.dispatch(&Form1::Command3_Click);
        EXPECT_EQ(panel.Picture1.colour, LampOff);
        EXPECT_EQ(panel.Picture2.colour, LampOff);
        EXPECT_EQ(panel.board->outputLevel(1), 100);
        EXPECT_EQ(panel.board->outputLevel(0), 100);
        panel.clock.advance(50ms); // Timer2's tick at 300 darkens both
        EXPECT_EQ(panel.board->outputLevel(1), 0);
        EXPECT_EQ(panel.board->outputLevel(0), 0);
    }

    TEST_F(ModeCommands, HazardAgainThenARateThatPutsTheDarkeningInThePastKeepsBothLampsTogether)
    {
        form.dispatch(&Form1::Command3_Click);
        panel.clock.advance(250ms); // both lit at 200; Timer2 due at 300
        form.dispatch(&Form1::Command3_Click); // Timer1 counts from 250
        panel.HScroll1.position = 80; // Timer2 now falls due at 200 + 40, already past
        form.dispatch(&Form1::HScroll1_Change);
        for (int ms = 0; ms < 1000; ++ms) {
            panel.clock.advance(1ms);
            ASSERT_EQ(panel.board->outputLevel(0), panel.board->outputLevel(1)) << "at " << ms;
        }
    }

    TEST_F(ModeCommands, LeftAndRightCyclesRunIndependently)
    {
        form.dispatch(&Form1::Command1_Click);
        panel.clock.advance(50ms);
        form.dispatch(&Form1::rightlight);
        panel.clock.advance(300ms);
        EXPECT_THAT(panel.writesOf(1),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(300), 1, 0 }));
        EXPECT_THAT(panel.writesOf(0),
                ElementsAre(OutputWrite { at(250), 0, 100 }, OutputWrite { at(350), 0, 0 }));
    }

} // namespace
} // namespace meridan::testing

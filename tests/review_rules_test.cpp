// Rules that the other suites leave room to break: each case here fails when its rule does.

#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::IsEmpty;
    using namespace std::chrono_literals;

    std::vector<bool> timers(const Form1 &form)
    {
        return { form.Timer1.enabled(), form.Timer2.enabled(), form.Timer3.enabled(),
            form.Timer4.enabled() };
    }

    // Each hazard step on its own, from both lamps in the other phase: in a running panel
    // Timer4 (or Timer3) falls due with it and would hide a missing right-hand step.
    TEST(HazardSteps, EachLeftTimersTickDrivesTheRightLampAndItsTimersOnItsOwn)
    {
        {
            SCOPED_TRACE("Timer2: both go dark");
            Panel panel;
            panel.load();
            panel.form.hazard = kTrue;
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
            panel.form.hazard = kTrue;
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

    // A board whose presence answer is any value: only False (0) means not plugged in.
    class AnsweringBoard : public SimulatedBoard
    {
    public:
        AnsweringBoard(const Clock &time, Post poster, Boolean answer)
            : SimulatedBoard(time, std::move(poster)),
              presence(answer)
        {
        }
        Boolean BoardPresent() override
        {
            SimulatedBoard::BoardPresent();
            return presence;
        }
        void setInputChangeHandler(InputChangeHandler handler) override
        {
            handlerBeforeOpen = handlerBeforeOpen || (handler && !openCalled);
            SimulatedBoard::setInputChangeHandler(std::move(handler));
        }
        void OpenBoard(std::int32_t first, std::int32_t second) override
        {
            openCalled = true;
            SimulatedBoard::OpenBoard(first, second);
        }
        Boolean presence;
        bool openCalled = false;
        bool handlerBeforeOpen = false;
    };

    TEST(StartUpRules, OnlyFalseFromBoardPresentMeansNotPluggedInAndEventsAreWiredBeforeOpening)
    {
        for (const Boolean answer : { Boolean { 0 }, Boolean { -1 }, Boolean { 1 },
                     Boolean { 0x7FFF }, Boolean { -2 } }) {
            SCOPED_TRACE(answer);
            Panel panel;
            auto board =
                    std::make_unique<AnsweringBoard>(panel.clock, panel.events.poster(), answer);
            AnsweringBoard &seen = *board;
            panel.owned = std::move(board);
            panel.board = &seen;
            panel.load();
            EXPECT_TRUE(seen.handlerBeforeOpen) << "OnInputChange was wired after OpenBoard";
            if (answer == 0) {
                EXPECT_THAT(panel.desktop.messages,
                        ElementsAre("THE PHIDGET CONTROLLER IS NOT PLUGGED IN"));
                EXPECT_EQ(panel.desktop.status, ExitStatus::NoBoard);
            } else {
                EXPECT_THAT(panel.desktop.messages, IsEmpty());
                EXPECT_EQ(seen.preset(0), 100);
                EXPECT_EQ(seen.preset(1), 100);
                EXPECT_FALSE(panel.desktop.status.has_value());
            }
        }
    }

    // END ends the program at once: hazard, the buttons and the boxes stay as they were.
    TEST(EndRules, EndLeavesHazardTheButtonsAndTheBoxesAsTheyWere)
    {
        Panel panel;
        panel.load();
        panel.form.dispatch(&Form1::Command3_Click);
        panel.clock.advance(250ms); // both lit
        panel.form.dispatch(&Form1::Command5_Click);
        EXPECT_EQ(panel.form.hazard, kTrue);
        EXPECT_FALSE(panel.Command1.enabled);
        EXPECT_FALSE(panel.Command2.enabled);
        EXPECT_TRUE(panel.Command3.enabled);
        EXPECT_EQ(panel.Picture1.colour, LampOn);
        EXPECT_EQ(panel.Picture2.colour, LampOn);
        EXPECT_EQ(panel.board->outputLevel(1), 0);
        EXPECT_EQ(panel.board->outputLevel(0), 0);
        EXPECT_EQ(panel.desktop.status, ExitStatus::Ended);
    }

} // namespace
} // namespace meridan::testing

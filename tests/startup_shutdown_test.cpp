#include "signal/run_time_error.h"
#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::HasSubstr;
    using ::testing::IsEmpty;
    using namespace std::chrono_literals;

    TEST(StartUp, WithTheBoardAttachedOpensPresetsBothChannelsAndClearsHazard)
    {
        {
            SCOPED_TRACE("HAZARD clicked before the board was open");
            Panel early;
            early.form.dispatch(&Form1::Command3_Click);
            ASSERT_EQ(early.form.hazardMode(), kTrue);
            early.load();
            EXPECT_EQ(early.form.hazardMode(), kFalse);
        }
        Panel panel;
        panel.load();
        EXPECT_THAT(panel.board->calls(),
                ElementsAre("OpenBoard(0, 0)", "BoardPresent()", "PresetChannel(0, 100)",
                        "PresetChannel(1, 100)"));
        EXPECT_EQ(panel.form.hazardMode(), kFalse);
        EXPECT_THAT(panel.desktop.messages, IsEmpty());
        EXPECT_FALSE(panel.desktop.status.has_value());
        // The design state: all timers stopped with their design intervals, both boxes white.
        const PhaseTimer *timers[] = { &panel.form.timer(1), &panel.form.timer(2),
            &panel.form.timer(3), &panel.form.timer(4) };
        const int intervals[] = { 200, 100, 200, 100 };
        for (int i = 0; i < 4; ++i) {
            EXPECT_FALSE(timers[i]->enabled());
            EXPECT_EQ(timers[i]->interval(), intervals[i]);
        }
        EXPECT_THAT(panel.board->writes(), IsEmpty());
    }

    TEST(StartUp, WithoutABoardShowsOneMessageAndEndsWithoutTouchingTheChannels)
    {
        Panel panel(SimulatedBoard::Plug::Unplugged);
        panel.load();
        EXPECT_THAT(panel.board->calls(), ElementsAre("OpenBoard(0, 0)", "BoardPresent()"));
        EXPECT_THAT(
                panel.desktop.messages, ElementsAre("THE PHIDGET CONTROLLER IS NOT PLUGGED IN"));
        EXPECT_EQ(panel.desktop.status, ExitStatus::NoBoard);
        EXPECT_THAT(panel.desktop.errors, IsEmpty());
        EXPECT_TRUE(panel.form.ended());
        panel.form.dispatch(&Form1::Command1_Click);
        panel.clock.advance(1s);
        EXPECT_THAT(panel.board->writes(), IsEmpty());
    }

    TEST(StartUp, ABoardThatCannotBeCreatedIsARunTimeError)
    {
        Panel panel;
        panel.factory = []() -> std::unique_ptr<BoardLink> {
            raiseRunTimeError("CreateObject(board)", "library missing");
        };
        panel.load();
        EXPECT_THAT(
                panel.desktop.errors, ElementsAre("CreateObject(board) failed: library missing"));
        EXPECT_THAT(panel.desktop.messages, IsEmpty());
        EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
    }

    class Shutdown : public ::testing::Test
    {
    protected:
        // Left lamp lit: the first tick of Timer1 has run.
        Shutdown()
        {
            panel.load();
            panel.form.dispatch(&Form1::Command1_Click);
            panel.clock.advance(250ms);
        }

        Panel panel;
    };

    // END and the window's close control (with SIGINT, SIGTERM and SIGHUP, which close it) end
    // the panel the same way.
    struct WayOut
    {
        const char *name;
        void (Form1::*procedure)();
    };

    class WaysOut : public Shutdown, public ::testing::WithParamInterface<WayOut>
    {
    };

    INSTANTIATE_TEST_SUITE_P(EndAndClose, WaysOut,
            ::testing::Values(WayOut { "END", &Form1::Command5_Click },
                    WayOut { "close", &Form1::Form_Unload }),
            [](const auto &row) { return std::string(row.param.name); });

    TEST_P(WaysOut, DarkenTheLeftLampThenTheRightAndRunNoFurtherHandler)
    {
        ASSERT_EQ(panel.board->outputLevel(1), 100);
        panel.form.dispatch(GetParam().procedure);
        EXPECT_THAT(panel.board->writes(),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(250), 1, 0 },
                        OutputWrite { at(250), 0, 0 }));
        EXPECT_EQ(panel.desktop.status, ExitStatus::Ended);
        panel.clock.advance(2s);
        panel.form.dispatch(&Form1::Command3_Click);
        EXPECT_EQ(panel.board->writes().size(), 3u);
        EXPECT_EQ(panel.Picture1.colour, LampOn); // the boxes stay as they were
    }

    TEST_P(WaysOut, RunNoTickThatIsAlreadyDue)
    {
        panel.clock.stall(100ms); // Timer2's tick at 300 is due but not yet handled
        panel.form.dispatch(GetParam().procedure);
        panel.clock.wakeLate();
        EXPECT_THAT(panel.writesOf(1),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(350), 1, 0 }));
    }

    TEST_F(Shutdown, ABoardUnpluggedWhileRunningEndsThePanelAtItsNextWrite)
    {
        panel.board->unplug();
        panel.clock.advance(1s);
        EXPECT_THAT(panel.desktop.errors,
                ElementsAre("SetOutputLevel(1, 0) failed: the simulated board has gone: it was "
                            "unplugged"));
        EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
    }

    TEST_F(Shutdown, ABoardUnpluggedWhileIdleIsReportedByTheSwitchHandlersRead)
    {
        panel.form.dispatch(&Form1::Command4_Click); // OFF: nothing blinks, nothing is due
        panel.board->unplug();
        panel.deliverEvents();
        EXPECT_THAT(panel.desktop.errors,
                ElementsAre("ReadInput(0) failed: the simulated board has gone: it was unplugged"));
        EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
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
        EXPECT_EQ(panel.form.hazardMode(), kTrue);
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
